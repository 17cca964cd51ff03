// The board's text commands: identity, settings, channel scaling, control lists and the sampler.
#include "board/wbalance_board.h"

#include "resources/resource_ids.h"
#include "support/string_stream.h"

#include <cstdio>
#include <cstring>
#include <locale>

namespace Kestrel {

namespace {

constexpr char kVersion[] = "1.01";
constexpr char kTypeReply[] = "=Wii Balance Board\n";
constexpr char kOkReply[] = "<OK\n";
constexpr int kSettingOff = 1;
constexpr int kSettingOn = 2;
constexpr int32_t kSamplePeriodMicros = kFramePeriodMicros;

enum class Setting { kNone, kKeepPaired, kShowBatteryWarning, kZeroAllChannels };

// The first setting name that occurs anywhere in the word decides.
Setting SettingIn(const char* word) {
  if (std::strstr(word, "bb_keepPaired")) return Setting::kKeepPaired;
  if (std::strstr(word, "bb_ShowBattWarning")) return Setting::kShowBatteryWarning;
  if (std::strstr(word, "bb_zeroAllChans")) return Setting::kZeroAllChannels;
  return Setting::kNone;
}

// Plain decimal whatever the process's locale says about grouping.
class ReplyStream : public Orx::OStringStream {
 public:
  ReplyStream() { imbue(std::locale::classic()); }
};

}  // namespace

bool WBalanceBoard::DeviceCommand(const char* arguments) {
  char word[kTokenSize];
  NextToken(arguments, word);
  if (std::strcmp(word, "version") == 0) {
    QueueReply("=");
    QueueReply(kVersion);
    QueueReply("\n");
    return true;
  }
  if (std::strcmp(word, "serialnum") == 0) {
    char serial[kTokenSize] = {0};
    WideToNarrowBuffer(serialNumber, serial, kSerialReplyLimit + 1, CP_ACP);
    QueueReply("=");
    QueueReply(serial);
    QueueReply("\n");
    return true;
  }
  if (std::strcmp(word, "type") == 0) {
    QueueReply(kTypeReply);
    return true;
  }
  if (std::strcmp(word, "startwarning") == 0) {
    bool warn = batteryLow.load(std::memory_order_acquire) && showBatteryWarning.load(std::memory_order_acquire);
    QueueReply(warn ? "=1\n" : "=0\n");
    return true;
  }
  return SettingsCommand(word);
}

bool WBalanceBoard::SettingsCommand(const char* word) {
  Setting setting = SettingIn(word);
  if (setting == Setting::kNone) return false;
  int value = ParseFirstNumber(word);
  if (value != kSettingOff && value != kSettingOn) return false;
  bool on = value == kSettingOn;
  switch (setting) {
    case Setting::kKeepPaired:
      keepPaired.store(on, std::memory_order_release);
      break;
    case Setting::kShowBatteryWarning:
      showBatteryWarning.store(on, std::memory_order_release);
      break;
    case Setting::kZeroAllChannels:
      // Arming a collection resets state the reader thread is using: it takes the request at
      // its next report. Turning zeroing off touches nothing of the collection.
      if (on) zeroArmRequested.store(true, std::memory_order_release);
      zeroEnabled.store(on, std::memory_order_release);
      break;
    case Setting::kNone:
      return false;
  }
  QueueReply(kOkReply);
  return true;
}

bool WBalanceBoard::ChannelCommand(int channel, const char* arguments) {
  bool scaling = std::strcmp(arguments, "basescaling") == 0;
  bool gains = std::strcmp(arguments, "gainlist") == 0;
  if (scaling || gains) {
    if (channel > kBoardChannelCount) return true;  // understood, but no such channel: no reply
    ReplyStream reply;
    if (scaling)
      reply << L"=" << -kSampleFullScale << L"," << -kKilogramsFullScale << L";" << kSampleFullScale << L","
            << kKilogramsFullScale << L";kg;1\n";
    else
      reply << L"=" << -kKilogramsFullScale << L"," << kKilogramsFullScale << L",kg;\n";
    QueueWideReply(reply.str());
    return true;
  }
  if (std::strcmp(arguments, "controllist") == 0) return ServeControlList(IDR_INPUT_AMP_CONTROL_LIST);
  return false;
}

bool WBalanceBoard::ControlListCommand() { return ServeControlList(IDR_DEVICE_CONTROL_LIST); }

bool WBalanceBoard::ServeControlList(uint16_t resourceId) {
  OrxString script;
  LoadTextResource(resourceId, script);
  OrxString reply(L"=");
  reply += script;
  reply += L"\n";
  QueueWideReply(reply);
  return true;
}

void WBalanceBoard::QueueWideReply(const OrxString& text) { QueueReply(text.Utf8()); }

bool WBalanceBoard::SamplerCommand(const char* arguments) {
  if (std::strcmp(arguments, "interval") == 0) {
    char reply[kTokenSize];
    std::snprintf(reply, sizeof reply, "=%d\n", kSamplePeriodMicros);
    QueueReply(reply);
    return true;
  }
  if (std::strcmp(arguments, "start") == 0) {
    StartSampling();
    QueueReply(kOkReply);
    return true;
  }
  if (std::strcmp(arguments, "stop") == 0) {
    StopSampling();
    QueueReply(kOkReply);
    return true;
  }
  return false;
}

}  // namespace Kestrel
