#include "host/host_session.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <sstream>

namespace kymhost {

namespace {
constexpr int kLineRoom = 4096;
constexpr char kBlockMark = '@';
constexpr int kBytesPerFrame = 2 * kChannels;
constexpr char kAbortPrefix[] = "#abort ";
constexpr char kDisconnectedLine[] = "#Device disconnected";
// The reasons the plug-in gives in its abort lines.
constexpr char kUserStopReason[] = "Sampling stopped by user action.";
constexpr char kBatteriesReason[] = "Weak or missing batteries.";
constexpr char kTimedOutReason[] = "The host timed out waiting for a response from the device.";

StreamEvent::Reason ReasonOf(const std::string& text) {
  if (text == kUserStopReason) return StreamEvent::kUserStop;
  if (text == kBatteriesReason) return StreamEvent::kBatteries;
  if (text == kTimedOutReason) return StreamEvent::kTimedOut;
  return StreamEvent::kUnknown;
}
}  // namespace

bool HostSession::Command(const std::string& line, std::string& reply, int timeoutMs) {
  std::string text = line + "\n";
  if (!plugin_.WriteBuffer(index_, text.data(), static_cast<int>(text.size()), 0)) return false;
  std::vector<char> buffer(kLineRoom, '\0');
  if (!plugin_.ReadLine(index_, buffer.data(), kLineRoom, timeoutMs)) return false;
  reply = buffer.data();
  return true;
}

std::string HostSession::Query(const std::string& line) {
  std::string reply;
  if (!Command(line, reply) || reply.empty() || reply[0] != '=') return {};
  return reply.substr(1);
}

bool HostSession::Action(const std::string& line) {
  std::string reply;
  return Command(line, reply) && reply == "<OK";
}

bool ParseScaling(const std::string& value, double& kgPerUnit, double& kgOffset) {
  double v1, kg1, v2, kg2;
  char comma1, semi, comma2;
  std::istringstream in(value);
  in.imbue(std::locale::classic());
  if (!(in >> v1 >> comma1 >> kg1 >> semi >> v2 >> comma2 >> kg2)) return false;
  if (comma1 != ',' || semi != ';' || comma2 != ',' || v1 == v2) return false;
  kgPerUnit = (kg2 - kg1) / (v2 - v1);
  kgOffset = kg1 - v1 * kgPerUnit;
  return true;
}

bool HostSession::LoadScaling() {
  return ParseScaling(Query(">in/cha1/basescaling"), kgPerUnit_, kgOffset_) && kgPerUnit_ > 0;
}

StreamEvent HostSession::ReadStream(int timeoutMs) {
  StreamEvent event;
  int size = static_cast<int>(block_.size());
  block_[0] = '\0';
  if (!plugin_.ReadBuffer(index_, block_.data(), &size, timeoutMs)) return event;
  if (block_[0] == kBlockMark && size > 1) {
    event.kind = StreamEvent::kFrames;
    int frames = (size - 1) / kBytesPerFrame;
    const auto* bytes = reinterpret_cast<const unsigned char*>(block_.data() + 1);
    for (int f = 0; f < frames; ++f) {
      FrameKg frame{};
      for (int c = 0; c < kChannels; ++c) {
        const unsigned char* v = bytes + f * kBytesPerFrame + 2 * c;
        auto raw = static_cast<int16_t>(static_cast<uint16_t>(v[0] << 8 | v[1]));
        frame.channel[c] = raw * kgPerUnit_ + kgOffset_;
      }
      event.frames.push_back(frame);
    }
    return event;
  }
  if (block_[0] != '#') return event;
  // An abort line comes without a terminator and *size gives its length; the disconnect line
  // is NUL-terminated and leaves *size alone.
  size_t room = std::min<size_t>(static_cast<size_t>(std::max(size, 0)), block_.size());
  event.text.assign(block_.data(), strnlen(block_.data(), room));
  while (!event.text.empty() && (event.text.back() == '\n' || event.text.back() == '\r')) event.text.pop_back();
  if (event.text.rfind(kAbortPrefix, 0) == 0) {
    event.kind = StreamEvent::kAbort;
    event.text.erase(0, sizeof kAbortPrefix - 1);
    event.reason = ReasonOf(event.text);
  } else if (event.text == kDisconnectedLine) {
    event.kind = StreamEvent::kDisconnected;
  } else {
    event.kind = StreamEvent::kOther;
  }
  return event;
}

std::string HostSession::DeviceMessage() {
  int size = plugin_.GetLastErrorMsg(index_, nullptr);
  if (size <= 1) return {};
  std::vector<char> text(static_cast<size_t>(size) + 1, '\0');
  plugin_.GetLastErrorMsg(index_, text.data());
  return text.data();
}

}  // namespace kymhost
