#include "sim/balance_board.h"

#include "sim/board_protocol.h"

#include <algorithm>

namespace sim {

using namespace protocol;

namespace {
// How often a write held up by a silent link looks whether the link came back or was lost.
constexpr uint64_t kSilentWritePollMicros = 50'000;

// A memory reply that carries an error carries no data.
void MarkMemoryError(std::vector<uint8_t>& reply, uint8_t error) {
  std::fill(reply.begin() + kMemoryDataOffset, reply.end(), 0);
  reply[3] = static_cast<uint8_t>(kErrorReplySize | (error & 0x0F));
}
}  // namespace

std::shared_ptr<BalanceBoard> BalanceBoard::Create(const BoardSettings& settings) {
  std::shared_ptr<BalanceBoard> board(new BalanceBoard(settings));
  HidIdentity identity;
  identity.vendorId = kNintendoVendorId;
  identity.productId = kWiiRemoteProductId;
  identity.versionNumber = kVersionNumber;
  identity.product = kProductString;
  identity.manufacturer = kManufacturerString;
  identity.serialNumber = settings.serialNumber;
  board->SetIdentity(identity);
  board->DelayCancellation(settings.cancelDelayMicros);
  board->DelayWrites(settings.writeDelayMicros);
  return board;
}

BalanceBoard::BalanceBoard(const BoardSettings& settings)
    : settings_(settings),
      registers_(settings.calibration),
      poweredOnAt_(NowMicros()),
      batteryLevel_(settings.batteryLevel),
      faults_(settings.faults.begin(), settings.faults.end()),
      random_(settings.randomSeed) {
  if (settings.capture) capturedReplies_ = std::make_unique<CapturedReplies>(settings.capture);
  if (settings.samplingStarts) settings.samplingStarts->Clear();
}

BalanceBoard::~BalanceBoard() {
  std::lock_guard<std::mutex> guard(stateLock_);
  StopTimersLocked();
}

std::wstring BalanceBoard::DevicePathFor(const std::wstring& serialNumber) {
  std::wstring tail = serialNumber.size() > 8 ? serialNumber.substr(serialNumber.size() - 8) : serialNumber;
  return L"\\\\?\\hid#{00001124-0000-1000-8000-00805f9b34fb}_vid&0002057e_pid&0306#8&" + tail +
         L"&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";
}

std::weak_ptr<BalanceBoard> BalanceBoard::WeakSelf() {
  return std::static_pointer_cast<BalanceBoard>(shared_from_this());
}

bool BalanceBoard::OnOutputReport(const uint8_t* data, size_t length, DWORD* error) {
  uint64_t pageDeadline = 0;
  for (;;) {
    {
      std::lock_guard<std::mutex> guard(stateLock_);
      if (!powered_) {
        *error = ERROR_DEVICE_NOT_CONNECTED;
        return false;
      }
      if (length != kBoardReportLength) {
        *error = ERROR_INVALID_PARAMETER;
        return false;
      }
      if (!silent_) return TakeOutputReportLocked(data, error);
      if (pageDeadline == 0) pageDeadline = NowMicros() + kPageTimeoutMicros;
    }
    // The stack pages a board that does not answer until its page time-out, holding the caller.
    uint64_t now = NowMicros();
    if (now >= pageDeadline) {
      *error = ERROR_SEM_TIMEOUT;
      return false;
    }
    Sleep(static_cast<DWORD>(std::min<uint64_t>(kSilentWritePollMicros, pageDeadline - now) / 1000 + 1));
  }
}

bool BalanceBoard::TakeOutputReportLocked(const uint8_t* data, DWORD* error) {
  outputs_.emplace_back(data, data + kBoardReportLength);
  if (capturedReplies_) {
    AnswerFromCaptureLocked(data);
    return true;
  }
  ReplyFault fault;
  auto armed = std::find_if(faults_.begin(), faults_.end(), [&](const auto& f) { return f.first == data[0]; });
  if (armed != faults_.end()) {
    fault = armed->second;
    faults_.erase(armed);
  }
  if (fault.kind == ReplyFault::Kind::kRejectWrite) {
    *error = fault.writeError;
    return false;
  }
  // Reports the board sends by itself come before it takes the request in.
  std::vector<Report> replies;
  for (int i = 0; i < fault.dataReportsFirst; ++i) replies.push_back(ExtraReportLocked(fault.dataReportId));
  std::vector<Report> answers;
  if (fault.kind != ReplyFault::Kind::kLost) answers = HandleLocked(data);
  ApplyFault(fault, answers);
  replies.insert(replies.end(), answers.begin(), answers.end());
  bool late = fault.kind == ReplyFault::Kind::kLate;
  DeliverLocked(std::move(replies), late ? fault.lateMicros : settings_.replyLatencyMicros);
  return true;
}

BalanceBoard::Report BalanceBoard::NewReportLocked(uint8_t id) const {
  Report report(kBoardReportLength, 0);
  report[0] = id;
  report[2] = button_ ? kButtonBit : 0;
  return report;
}

BalanceBoard::Report BalanceBoard::DataReportLocked(uint8_t id) const {
  Report report = NewReportLocked(id);
  int offset = ExtensionOffset(id);
  if (offset < 0) return report;
  if (id == kExtensionOnlyMode) report[2] = 0;  // no button bytes in this mode
  // Extension bytes: four big-endian sensor readings, temperature, a zero, the battery level.
  uint8_t extension[11] = {0};
  auto readings = SensorReadingsLocked();
  for (size_t s = 0; s < kSensorCount; ++s) {
    extension[2 * s] = static_cast<uint8_t>(readings[s] >> 8);
    extension[2 * s + 1] = static_cast<uint8_t>(readings[s] & 0xFF);
  }
  extension[8] = kBoardTemperature;
  extension[10] = batteryLevel_;
  size_t room = std::min({sizeof extension, ExtensionBytes(id), kBoardReportLength - static_cast<size_t>(offset)});
  std::copy(extension, extension + room, report.begin() + offset);
  return report;
}

BalanceBoard::Report BalanceBoard::StatusReportLocked() const {
  Report report = NewReportLocked(kStatus);
  // The sensors are the board's built-in extension.
  uint8_t flags = settings_.extensionReported ? kExtensionFlag : 0;
  if (batteriesFailing_ || batteryLevel_ < kBatteryLowBelow) flags |= kBatteryLowFlag;
  report[3] = static_cast<uint8_t>(flags | leds_ << 4);
  report[6] = batteryLevel_;
  return report;
}

BalanceBoard::Report BalanceBoard::AckLocked(uint8_t outputId, uint8_t error) const {
  Report report = NewReportLocked(kAck);
  report[3] = outputId;
  report[4] = error;
  return report;
}

BalanceBoard::Report BalanceBoard::ExtraReportLocked(uint8_t id) {
  if (id != kStatus) return DataReportLocked(id);
  Report status = StatusReportLocked();
  StopReportingLocked();
  return status;
}

// The reports a remote acknowledges only when the request's acknowledge bit asks for it.
std::vector<BalanceBoard::Report> BalanceBoard::AckIfAskedLocked(const uint8_t* report) const {
  if (!(report[1] & kAckRequestBit)) return {};
  return {AckLocked(report[0], kMemoryOk)};
}

std::vector<BalanceBoard::Report> BalanceBoard::HandleLocked(const uint8_t* report) {
  uint8_t id = report[0];
  switch (id) {
    case kLeds:
      leds_ = report[1] >> 4;
      return AckIfAskedLocked(report);
    case kMode: {
      if (!IsDataMode(report[2])) return {};  // a real remote ignores a mode it does not have
      const bool resumesAfterStatus = mode_ == kReportsOff;
      mode_ = report[2];
      continuous_ = (report[1] & kContinuousBit) != 0;
      NoteModeLocked(resumesAfterStatus);
      std::vector<Report> replies = AckIfAskedLocked(report);
      StopStreamingLocked();
      replies.push_back(DataReportLocked(mode_));  // a first report in the new mode at once
      if (continuous_) StartStreamingLocked();
      return replies;
    }
    case kStatusRequest:
      return {ExtraReportLocked(kStatus)};
    case kWriteMemory: {
      size_t size = report[5];
      if (size == 0 || size > kMemoryChunk) return {AckLocked(id, kMemoryBadLength)};
      uint32_t offset = static_cast<uint32_t>(report[2] << 16 | report[3] << 8 | report[4]);
      uint8_t space = static_cast<uint8_t>(report[1] & ~kRumbleBit);
      return {AckLocked(id, registers_.Write(space, offset, report + kWriteDataOffset, size))};
    }
    case kReadMemory:
      return ReadMemoryLocked(report);
    case kIrEnable:
    case kSpeakerEnable:
    case kSpeakerMute:
    case kIrEnable2:
      return AckIfAskedLocked(report);
    default:  // rumble and speaker data are never acknowledged
      return {};
  }
}

// Whatever mode it was in, the remote now sends no data reports until a mode report comes.
void BalanceBoard::StopReportingLocked() {
  StopStreamingLocked();
  continuous_ = false;
  mode_ = kReportsOff;
}

std::vector<BalanceBoard::Report> BalanceBoard::ReadMemoryLocked(const uint8_t* report) const {
  uint8_t space = static_cast<uint8_t>(report[1] & ~kRumbleBit);
  uint32_t offset = static_cast<uint32_t>(report[2] << 16 | report[3] << 8 | report[4]);
  size_t size = static_cast<size_t>(report[5] << 8 | report[6]);
  std::vector<Report> replies;
  if (size == 0) {
    Report reply = NewReportLocked(kMemoryData);
    MarkMemoryError(reply, kMemoryBadLength);
    replies.push_back(reply);
    return replies;
  }
  // Longer reads come back in pieces of sixteen bytes; an error ends the reply.
  for (size_t done = 0; done < size; done += kMemoryChunk) {
    size_t chunk = std::min(kMemoryChunk, size - done);
    uint32_t at = offset + static_cast<uint32_t>(done);
    Report reply = NewReportLocked(kMemoryData);
    uint8_t error = registers_.Read(space, at, chunk, &reply[kMemoryDataOffset]);
    reply[3] = static_cast<uint8_t>((chunk - 1) << 4 | error);
    if (error != kMemoryOk) MarkMemoryError(reply, error);
    reply[4] = static_cast<uint8_t>(at >> 8 & 0xFF);
    reply[5] = static_cast<uint8_t>(at & 0xFF);
    replies.push_back(reply);
    if (error != kMemoryOk) break;
  }
  return replies;
}

void BalanceBoard::ApplyFault(const ReplyFault& fault, std::vector<Report>& replies) const {
  switch (fault.kind) {
    case ReplyFault::Kind::kNoReply:
    case ReplyFault::Kind::kLost:
      replies.clear();
      break;
    case ReplyFault::Kind::kOtherId:
      if (!replies.empty()) replies.front()[0] = fault.value;
      break;
    case ReplyFault::Kind::kShort:
      if (!replies.empty()) replies.front().resize(fault.value);
      break;
    case ReplyFault::Kind::kAckError:
      for (auto& r : replies) {
        if (r[0] == kAck) {
          r[4] = fault.value;
          break;
        }
      }
      break;
    case ReplyFault::Kind::kReadError: {
      auto first = std::find_if(replies.begin(), replies.end(), [](const Report& r) { return r[0] == kMemoryData; });
      if (first == replies.end()) break;
      MarkMemoryError(*first, fault.value);
      replies.erase(first + 1, replies.end());  // an error ends the read
      break;
    }
    case ReplyFault::Kind::kNone:
    case ReplyFault::Kind::kRejectWrite:
    case ReplyFault::Kind::kLate:
      break;
  }
}

void BalanceBoard::DeliverLocked(std::vector<Report> replies, uint64_t latencyMicros) {
  if (replies.empty()) return;
  if (latencyMicros == 0) {
    for (const auto& r : replies) SendLocked(r);
    return;
  }
  uint64_t token = nextReplyToken_++;
  auto weak = WeakSelf();
  replyTimers_[token] = ScheduleAt(NowMicros() + latencyMicros,
                                          [weak, token, replies = std::move(replies)] {
                                            if (auto self = weak.lock()) self->OnReplyTimer(token, replies);
                                          });
}

void BalanceBoard::OnReplyTimer(uint64_t token, const std::vector<Report>& replies) {
  std::lock_guard<std::mutex> guard(stateLock_);
  if (replyTimers_.erase(token) == 0) return;  // cancelled after it had become due
  for (const auto& r : replies) SendLocked(r);
}

void BalanceBoard::SendLocked(const Report& report) {
  if (silent_) return;  // nothing reaches the host over a silent link
  if (!report.empty() && IsDataMode(report[0])) {
    ++dataReportsSent_;
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    latestDataReportCounter_.store(now.QuadPart, std::memory_order_release);
  }
  PushInputReport(report);
}

void BalanceBoard::StartStreamingLocked() {
  nextReportAt_ = NowMicros() + NextGapLocked();
  ScheduleNextReportLocked();
}

void BalanceBoard::StopStreamingLocked() {
  ++stream_;
  if (reportTimer_) CancelTimer(reportTimer_);
  reportTimer_ = 0;
}

void BalanceBoard::StopTimersLocked() {
  StopStreamingLocked();
  StopPlayingLocked();
  for (const auto& t : replyTimers_) CancelTimer(t.second);
  replyTimers_.clear();
}

void BalanceBoard::ScheduleNextReportLocked() {
  auto jitter = static_cast<int64_t>(settings_.reportJitterMicros);
  int64_t shift = jitter ? std::uniform_int_distribution<int64_t>(-jitter, jitter)(random_) : 0;
  uint64_t at = std::max(NowMicros(), static_cast<uint64_t>(static_cast<int64_t>(nextReportAt_) + shift));
  auto weak = WeakSelf();
  uint64_t stream = stream_;
  reportTimer_ = ScheduleAt(at, [weak, stream] {
    if (auto self = weak.lock()) self->OnReportTimer(stream);
  });
}

void BalanceBoard::OnReportTimer(uint64_t stream) {
  std::lock_guard<std::mutex> guard(stateLock_);
  if (stream != stream_ || !powered_ || !continuous_) return;
  SendLocked(DataReportLocked(mode_));
  nextReportAt_ += NextGapLocked();
  uint64_t now = NowMicros();
  if (nextReportAt_ < now) nextReportAt_ = now;  // after a stall, go on without a burst
  ScheduleNextReportLocked();
}

// A real board's reports come unevenly: Bluetooth delivers them as the link's slots allow, now
// two close together, now after a longer gap, at the same rate on average.
uint64_t BalanceBoard::NextGapLocked() {
  uint64_t interval = settings_.reportIntervalMicros;
  if (!settings_.unevenReports) return interval;
  return std::uniform_int_distribution<uint64_t>(interval / 4, interval * 7 / 4)(random_);
}

std::array<uint16_t, kSensorCount> BalanceBoard::SensorReadingsLocked() const {
  std::array<uint16_t, kSensorCount> readings{};
  if (batteriesFailing_) return readings;
  SensorLoads loads{};
  if (load_) loads = load_->At(NowMicros() - poweredOnAt_);
  const double offset = settings_.zeroOffsetKilograms / kSensorCount;
  const int noise = settings_.noiseUnits;
  for (int s = 0; s < kSensorCount; ++s) {
    long raw = settings_.calibration.RawReading(s, loads[static_cast<size_t>(s)] + offset);
    if (noise > 0) raw += std::uniform_int_distribution<int>(-noise, noise)(random_);
    readings[static_cast<size_t>(s)] = static_cast<uint16_t>(std::clamp(raw, 0L, static_cast<long>(kLargestRawReading)));
  }
  return readings;
}

void BalanceBoard::PowerOnStateLocked() {
  StopTimersLocked();
  registers_.Reset();
  mode_ = kPowerOnMode;
  continuous_ = false;
  leds_ = 0;
  faults_.clear();
  openEndsNext_ = true;
}

// A host opens a board by asking for button reports and then for continuous reports; every run
// it starts asks for continuous reports again. Its answer to a status report asks for them too,
// but only picks the stream up again.
void BalanceBoard::NoteModeLocked(bool resumesAfterStatus) {
  if (!continuous_) {
    openEndsNext_ = true;
  } else if (openEndsNext_) {
    openEndsNext_ = false;
  } else if (!resumesAfterStatus && settings_.samplingStarts) {
    settings_.samplingStarts->Mark(NowMicros());
  }
}

}  // namespace sim
