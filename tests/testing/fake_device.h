// A minimal device of four channels for exercising the device core without a board. Its input
// report is four big-endian 16-bit values after a report id byte.
#pragma once

#include "device/dev_orx_hid.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

constexpr int kFakeChannels = 4;
constexpr int kFakeReportLength = 1 + 2 * kFakeChannels;

// The fake device's input report carrying one frame.
inline std::vector<uint8_t> FrameReport(const Kestrel::SampleWord (&frame)[kFakeChannels]) {
  std::vector<uint8_t> report{0x32};
  for (Kestrel::SampleWord value : frame) {
    report.push_back(static_cast<uint8_t>(value >> 8));
    report.push_back(static_cast<uint8_t>(value & 0xFF));
  }
  return report;
}

class FakeDevice : public Kestrel::DevOrxHID {
 public:
  FakeDevice(HANDLE hid, const wchar_t* deviceName, const wchar_t* serial) : DevOrxHID(hid, deviceName, serial) {}
  ~FakeDevice() override { CloseDevice(); }

  int GetLastErrorMsg(char* buffer) override { return ReadLastErrorMessage(buffer); }
  void StartSampling() override {
    sampleRing->Discard();
    abortPending.store(false);
    sampling.store(true);
  }
  void StopSampling() override { sampling.store(false); }
  bool OnInputReport(const uint8_t* report, int length, int64_t) override {
    reports.fetch_add(1);
    if (length < kFakeReportLength || !sampling.load()) return false;
    Kestrel::SampleWord frame[kFakeChannels];
    for (int i = 0; i < kFakeChannels; ++i)
      frame[i] = static_cast<Kestrel::SampleWord>(report[1 + 2 * i] << 8 | report[2 + 2 * i]);
    AppendFrame(frame);
    return true;
  }
  void OnReadError(uint32_t code) override {
    readErrorCode.store(code);
    readErrors.fetch_add(1);
    DevOrxHID::OnReadError(code);
  }
  int InputReportLength() override {
    readsStarted.fetch_add(1);  // the reader asks once for every read it starts
    return kFakeReportLength;
  }
  int ChannelCount() override { return kFakeChannels; }
  bool ChannelCommand(int channel, const char* arguments) override {
    lastChannel = channel;
    lastArguments = arguments;
    QueueReply("<OK\n");
    return true;
  }
  bool SamplerCommand(const char* arguments) override {
    lastArguments = arguments;
    if (std::string(arguments) == "start") StartSampling();
    else if (std::string(arguments) == "stop") StopSampling();
    else return false;
    QueueReply("<OK\n");
    return true;
  }
  bool DeviceCommand(const char* arguments) override {
    lastArguments = arguments;
    return false;
  }

  // The rings without a reader thread: a stopped reader ends before its first read.
  bool InitialiseWithoutReader() {
    StopReader();
    return Initialise();
  }

  // Test hooks into the protected core.
  bool AppendFrame(const Kestrel::SampleWord* frame) { return sampleRing->AddAll(frame, kFakeChannels); }
  bool AppendValues(const Kestrel::SampleWord* values, int count) { return sampleRing->AddAll(values, count); }
  void Abort(int code) { RaiseAbort(code); }
  void Disconnect(uint32_t code) {
    ReportDisconnect(code);
    disconnected.store(true);
  }
  void Fail() { failed.store(true); }
  void StoreMessage(const wchar_t* text) { SetLastErrorText(OrxString(text)); }
  void Wake() { SetEvent(dataEvent); }
  bool ReaderStopRequested() const { return StopWasRequested(); }
  uint32_t ReadReport(uint8_t* buffer, int* length) { return ReadInputReport(buffer, length); }
  // WAIT_OBJECT_0 once the reader thread has ended its work (it parks until the close ends it).
  DWORD WaitForReaderEnd(DWORD milliseconds) { return ReaderParked(milliseconds) ? WAIT_OBJECT_0 : WAIT_TIMEOUT; }
  DWORD ReaderExitCode() const { return ParkedReaderExitCode(); }
  int ReaderPriority() { return GetThreadPriority(readerThread); }

  std::atomic<int> reports{0};
  std::atomic<int> readsStarted{0};
  std::atomic<int> readErrors{0};
  std::atomic<uint32_t> readErrorCode{0};
  int lastChannel = -1;
  std::string lastArguments;
};

}  // namespace testing_support
