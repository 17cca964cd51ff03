// The report path of an opened simulated board: arbitrary input reports (any id, any length up
// to the reader's buffer, any time stamps, while sampling and while idle) handed to
// OnInputReport as the reader thread hands them, and block reads of any size. The sample ring
// must hold whole frames only, and every block must fit the room the host gave.
#include "fuzz_input.h"
#include "fuzz_world.h"
#include "guarded_buffer.h"
#include "platform/posix/control.h"
#include "testing/board_rig.h"

#include <cstring>
#include <limits>

namespace {

using fuzzing::FuzzInput;
using fuzzing::GuardedBuffer;

constexpr int kMaxCalls = 256;
constexpr int kMaxBlockRoom = 1100;
constexpr int64_t kTicksPerFrame = 100'000;  // 10 ms of the 10 MHz counter
constexpr uint64_t kNoStream = 3'600'000'000;  // the board's own reports stay away
constexpr int kFrameBytes = 8;
const char* const kCommands[] = {">in/sampler/start\n", ">in/sampler/stop\n", ">dev/bb_zeroAllChans 2\n",
                                 ">dev/bb_zeroAllChans 1\n", ">dev/bb_zeroAllChans 0\n"};
constexpr uint8_t kReportIds[] = {0x32, 0x32, 0x32, 0x20, 0x21, 0x22, 0x30, 0x34};

class ReportSource {
 public:
  explicit ReportSource(int64_t start) : now_(start) {}

  // A report as the reader passes it: its buffer of kReportBufferSize bytes, zero past what came.
  void Send(FuzzInput& in, Kestrel::DevOrxHID& device) {
    uint8_t report[Kestrel::kReportBufferSize] = {};
    report[0] = in.TakeBool() ? in.Pick(kReportIds) : in.Take<uint8_t>();
    int length = static_cast<int>(in.TakeInRange(0, Kestrel::kReportBufferSize));
    std::string body = in.TakeBytes(static_cast<size_t>(length > 0 ? length - 1 : 0));
    std::memcpy(report + 1, body.data(), body.size());
    device.OnInputReport(report, length, NextTimestamp(in));
  }

 private:
  int64_t NextTimestamp(FuzzInput& in) {
    switch (in.TakeInRange(0, 3)) {
      case 0: return Advance(kTicksPerFrame);
      case 1: return Advance(in.TakeInRange(-kTicksPerFrame, 40 * kTicksPerFrame));
      case 2: return now_ = in.Take<int64_t>();
      default: return in.TakeBool() ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
    }
  }

  // After an arbitrary stamp near an end of the range, the next one wraps past it: the board must
  // cope with that, and the harness must not overflow making it.
  int64_t Advance(int64_t ticks) {
    now_ = static_cast<int64_t>(static_cast<uint64_t>(now_) + static_cast<uint64_t>(ticks));
    return now_;
  }
  int64_t now_;
};

void ReadABlock(FuzzInput& in, Kestrel::DevOrxHID& device) {
  int room = static_cast<int>(in.TakeInRange(0, kMaxBlockRoom));
  GuardedBuffer buffer(static_cast<size_t>(room));
  int size = room;
  if (!device.ReadBuffer(buffer.data(), &size, 0)) return;
  // 1 is the answer "no whole frame": then nothing is written, whatever the room.
  if (size == 1) {
    FUZZ_CHECK(buffer.Untouched());
    return;
  }
  FUZZ_CHECK(size > 1 && size <= room);
  if (buffer.data()[0] == '@') FUZZ_CHECK((size - 1) % kFrameBytes == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzing::AttachPlugin();
  FuzzInput in(data, size);
  sim::BoardSettings settings = fuzzing::FastBoardSettings();
  settings.reportIntervalMicros = kNoStream;
  testing_support::BoardRig rig(settings);
  FUZZ_CHECK(rig.device->OpenWithoutReader());
  Kestrel::DevOrxHID& device = *rig.device;
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  ReportSource reports(counter.QuadPart);

  for (int i = 0; i < kMaxCalls && !in.Empty(); ++i) {
    switch (in.TakeInRange(0, 5)) {
      case 0: {
        const char* command = in.Pick(kCommands);
        device.WriteBuffer(command, static_cast<int>(std::strlen(command)), 0);
        break;
      }
      case 1:
      case 2: reports.Send(in, device); break;
      case 3: ReadABlock(in, device); break;
      case 4: device.FlushReadBuffer(); break;
      default: {
        char line[64];
        device.ReadLine(line, sizeof line, 0);
        break;
      }
    }
    FUZZ_CHECK(device.ReadBuffSize() % 4 == 0);
  }
  return 0;
}
