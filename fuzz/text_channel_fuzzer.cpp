// The host's text channel of an opened simulated board: arbitrary bytes through WriteBuffer,
// interleaved with ReadLine calls of any size and with board time passing (so that runs the
// bytes start make samples). Replies must come back as lines within the room given.
#include "fuzz_input.h"
#include "fuzz_world.h"
#include "guarded_buffer.h"
#include "platform/posix/control.h"
#include "testing/eventually.h"
#include "testing/board_rig.h"

#include <cstring>
#include <string>

namespace {

using fuzzing::FuzzInput;
using fuzzing::GuardedBuffer;

constexpr int kMaxCalls = 64;
constexpr int kMaxLine = 300;
constexpr int kMaxTimeoutMs = 30;
constexpr int kMaxAdvanceMs = 100;
constexpr int kBlockRoom = 1 + 8 * 128;
const char* const kCommands[] = {
    ">in/nachans\n",          ">in/sampler/start\n",    ">in/sampler/stop\n",    "?in/cha1/basescaling\n",
    ">in/cha3/gainlist\n",    ">in/controllist\n",      ">dev/bb_keepPaired 2\n", ">dev/bb_zeroAllChans 2\n",
    ">dev/bb_zeroAllChans 1\n", ">dev/bb_ShowBattWarning 1\n", "?dev/serialnumber\n", "\r\n",
};

void Write(FuzzInput& in, Kestrel::DevOrxHID& device) {
  if (in.TakeBool()) {
    const char* command = in.Pick(kCommands);
    device.WriteBuffer(command, static_cast<int>(std::strlen(command)), 0);
    return;
  }
  std::string bytes = in.TakeBytes(kMaxLine);
  int length = static_cast<int>(in.TakeInRange(-1, static_cast<int64_t>(bytes.size())));
  FUZZ_CHECK(device.WriteBuffer(bytes.data(), length, 0));
}

void ReadALine(FuzzInput& in, Kestrel::DevOrxHID& device) {
  int size = static_cast<int>(in.TakeInRange(1, kMaxLine));
  GuardedBuffer buffer(static_cast<size_t>(size));
  if (!device.ReadLine(buffer.data(), size, static_cast<int>(in.TakeInRange(0, kMaxTimeoutMs)))) return;
  size_t length = strnlen(buffer.data(), static_cast<size_t>(size));
  FUZZ_CHECK(length < static_cast<size_t>(size));
  // A line comes without its end; only the disconnect line carries one.
  if (std::strcmp(buffer.data(), "!Device disconnected\n") != 0)
    FUZZ_CHECK(std::strpbrk(buffer.data(), "\r\n") == nullptr);
}

void DrainSamples(Kestrel::DevOrxHID& device) {
  GuardedBuffer buffer(kBlockRoom);
  int size = kBlockRoom;
  if (device.ReadBuffer(buffer.data(), &size, 0)) FUZZ_CHECK(size >= 1 && size <= kBlockRoom);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzing::AttachPlugin();
  const int handles = posix::LiveHandleCount();
  const int threads = posix::LiveThreadCount();
  {
    FuzzInput in(data, size);
    testing_support::BoardRig rig(fuzzing::FastBoardSettings());
    FUZZ_CHECK(rig.device->Initialise());
    Kestrel::DevOrxHID& device = *rig.device;
    for (int i = 0; i < kMaxCalls && !in.Empty(); ++i) {
      switch (in.TakeInRange(0, 4)) {
        case 0: Write(in, device); break;
        case 1: ReadALine(in, device); break;
        case 2: posix::AdvanceClock(static_cast<uint64_t>(in.TakeInRange(0, kMaxAdvanceMs)) * 1000); break;
        case 3: DrainSamples(device); break;
        default: device.FlushReadBuffer(); break;
      }
      FUZZ_CHECK(device.ReadBuffSize() % 4 == 0);
    }
  }
  FUZZ_CHECK(posix::LiveHandleCount() == handles);
  // A reader signals the close as its last step; its thread ends a moment later.
  FUZZ_CHECK(testing_support::Eventually([&] { return posix::LiveThreadCount() == threads; }));
  return 0;
}
