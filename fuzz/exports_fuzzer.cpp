// The thirteen exports called in any order with arbitrary indices, sizes, time-outs and null
// pointers, over a simulated world of none, one or two boards. Whatever the host does, the
// plug-in must not crash, write past a buffer, or keep a handle or thread after CloseAll.
#include "discovery/device_search.h"
#include "fuzz_input.h"
#include "fuzz_world.h"
#include "guarded_buffer.h"
#include "platform/posix/control.h"
#include "testing/eventually.h"
#include "plugin/exports.h"

#include <cstring>
#include <string>

namespace {

using fuzzing::FuzzInput;
using fuzzing::GuardedBuffer;

constexpr int kMaxCalls = 48;
// Each search spends seconds of board time, which a streaming board makes slow on the virtual
// clock: a few per input find every board and the end of the enumeration.
constexpr int kMaxSearches = 3;
int searchesLeft = 0;
constexpr int kMaxBuffer = 2048;
constexpr int kMaxTimeoutMs = 120;
constexpr int kMaxAdvanceMs = 250;
constexpr int kIndices[] = {-1, 0, 0, 1, 2, -2, 0x7FFFFFFF, static_cast<int>(0x80000000u)};
const char* const kCommands[] = {">in/nachans\n", ">in/sampler/start\n", ">in/sampler/stop\n", "?dev/bb_keepPaired 2\n",
                                 ">dev/bb_zeroAllChans 2\n", ">in/controllist\n", ">in/cha1/basescaling\n", "\r\n"};

int TakeIndex(FuzzInput& in) {
  return in.TakeBool() ? in.Pick(kIndices) : in.Take<int32_t>();
}

int TakeTimeout(FuzzInput& in) { return static_cast<int>(in.TakeInRange(-2, kMaxTimeoutMs)); }

void WriteSomething(FuzzInput& in, int index) {
  std::string text = in.TakeBool() ? kCommands[in.TakeInRange(0, 7)] : in.TakeBytes(300);
  if (in.TakeBool()) {
    WriteBuffer(index, nullptr, static_cast<int>(in.TakeInRange(-1, 8)), 0);  // harmless, whatever it answers
    return;
  }
  // The host promises length readable bytes; it may still pass a shorter or negative length.
  int length = static_cast<int>(in.TakeInRange(-2, static_cast<int64_t>(text.size())));
  WriteBuffer(index, text.data(), length, in.Take<int32_t>());
}

void ReadALine(FuzzInput& in, int index) {
  int size = static_cast<int>(in.TakeInRange(-2, kMaxBuffer));
  const bool nullBuffer = in.TakeBool() && in.TakeBool();
  if (nullBuffer || size <= 0) {
    char untouched = 'x';
    FUZZ_CHECK(ReadLine(index, nullBuffer ? nullptr : &untouched, size, TakeTimeout(in)) == 0);
    FUZZ_CHECK(untouched == 'x');
    return;
  }
  GuardedBuffer buffer(static_cast<size_t>(size));
  if (ReadLine(index, buffer.data(), size, TakeTimeout(in)))
    FUZZ_CHECK(std::memchr(buffer.data(), 0, static_cast<size_t>(size)) != nullptr);
}

void ReadABlock(FuzzInput& in, int index) {
  int room = static_cast<int>(in.TakeInRange(-3, kMaxBuffer));
  GuardedBuffer buffer(room > 0 ? static_cast<size_t>(room) : 0);
  const bool nullBuffer = in.TakeBool() && in.TakeBool();
  const bool nullSize = in.TakeBool() && in.TakeBool();
  int size = room;
  int result = ReadBuffer(index, nullBuffer ? nullptr : buffer.data(), nullSize ? nullptr : &size, TakeTimeout(in));
  if (nullBuffer || nullSize) FUZZ_CHECK(result == 0);
  if (result && size == 1) {
    FUZZ_CHECK(buffer.Untouched());  // "no whole frame", whatever the room
  } else if (result) {
    FUZZ_CHECK(size > 1 && size <= room);
    FUZZ_CHECK(buffer.data()[0] == '@' || buffer.data()[0] == '#');
  }
}

void ReadMessage(FuzzInput& in, int index) {
  int length = GetLastErrorMsg(index, nullptr);
  FUZZ_CHECK(length >= 0);
  if (length == 0 || in.TakeBool()) return;
  GuardedBuffer buffer(static_cast<size_t>(length));
  GetLastErrorMsg(index, buffer.data());
}

void Call(FuzzInput& in) {
  switch (in.TakeInRange(0, 14)) {
    case 0: {
      int index = -7;
      const bool nullIndex = in.TakeBool();
      if (searchesLeft-- <= 0) break;
      int found = FindDevice(nullIndex ? nullptr : &index);
      FUZZ_CHECK(found == 0 || index >= 0);
      break;
    }
    case 1: Initialise(TakeIndex(in)); break;
    case 2: FUZZ_CHECK(IsFailed(TakeIndex(in)) <= 1); break;
    case 3: ReadALine(in, TakeIndex(in)); break;
    case 4: WriteSomething(in, TakeIndex(in)); break;
    case 5: ReadABlock(in, TakeIndex(in)); break;
    case 6: FUZZ_CHECK(ReadBuffSize(TakeIndex(in)) >= 0); break;
    case 7: FlushReadBuffer(TakeIndex(in)); break;
    case 8: ReadMessage(in, TakeIndex(in)); break;
    case 9: {
      int id = 5;
      int index = TakeIndex(in);
      int result = GetUniqueID(index, in.TakeBool() ? nullptr : &id);
      FUZZ_CHECK(result ? id == 0 : id == 5);
      break;
    }
    case 10: FUZZ_CHECK(GetBaudRate() == 0); break;
    case 11: {
      DeviceClassInfo info;
      FUZZ_CHECK(GetDeviceClassInfo(in.TakeBool() ? nullptr : &info) <= 1);
      break;
    }
    case 12: FUZZ_CHECK(CloseAll() == 1); break;
    case 13: posix::AdvanceClock(static_cast<uint64_t>(in.TakeInRange(0, kMaxAdvanceMs)) * 1000); break;
    default: {
      // The world misbehaves under the host's feet.
      auto board = sim::World::Instance().Board(static_cast<size_t>(in.TakeInRange(0, 1)));
      if (!board) break;
      switch (in.TakeInRange(0, 3)) {
        case 0: board->PowerOff(); break;
        case 1: board->SetButton(in.TakeBool()); break;
        case 2: board->SetBatteriesFailing(in.TakeBool()); break;
        default: board->ArmFault(0x17, sim::ReplyFault::NoReply()); break;
      }
      break;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzing::AttachPlugin();
  FuzzInput in(data, size);
  const int handles = posix::LiveHandleCount();
  const int threads = posix::LiveThreadCount();
  const uint8_t world = in.Take<uint8_t>();
  sim::World::Instance().Build(fuzzing::BoardScenario((world & 1) != 0, (world >> 1) % 3, (world & 8) != 0));
  DeviceSearch::ResetForTesting();
  searchesLeft = kMaxSearches;

  for (int i = 0; i < kMaxCalls && !in.Empty(); ++i) Call(in);

  FUZZ_CHECK(CloseAll() == 1);
  sim::World::Instance().Clear();
  FUZZ_CHECK(posix::LiveHandleCount() == handles);
  // A reader signals the close as its last step; its thread ends a moment later.
  FUZZ_CHECK(testing_support::Eventually([&] { return posix::LiveThreadCount() == threads; }));
  return 0;
}
