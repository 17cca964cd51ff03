// A minimal device of four channels for exercising the device core without a board. Its input
// report is four big-endian 16-bit values after a report id byte.
#pragma once

#include "device/dev_orx_hid.h"

#include <atomic>
#include <string>

namespace testing_support {

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
    if (length < 9 || !sampling.load()) return false;
    Kestrel::SampleWord frame[4];
    for (int i = 0; i < 4; ++i) frame[i] = static_cast<Kestrel::SampleWord>(report[1 + 2 * i] << 8 | report[2 + 2 * i]);
    AppendFrame(frame);
    return true;
  }
  int InputReportLength() override { return 9; }
  int ChannelCount() override { return 4; }
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

  // Test hooks into the protected core.
  void AppendFrame(const Kestrel::SampleWord* frame) { sampleRing->AddAll(frame, 4); }
  void Abort(int code) { RaiseAbort(code); }
  void Disconnect(uint32_t code) {
    ReportDisconnect(code);
    disconnected.store(true);
  }
  void Fail() { failed.store(true); }
  void Wake() { SetEvent(dataEvent); }
  bool ReaderStopRequested() const { return StopWasRequested(); }

  std::atomic<int> reports{0};
  int lastChannel = -1;
  std::string lastArguments;
};

}  // namespace testing_support
