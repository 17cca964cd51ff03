// Unloading the plug-in while a board streams. Detach runs under the simulated loader lock, where
// a wait on a thread handle never succeeds, as on Windows.
#include "platform/posix/control.h"
#include "plugin/exports.h"
#include "sim/world.h"
#include "testing/eventually.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <chrono>
#include <memory>
#include <ostream>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace {

using testing_support::Eventually;

constexpr uint64_t kMicrosPerMs = 1000;
constexpr uint64_t kUnloadBoundMs = 2000;

template <typename F>
F Export(void* plugin, const char* name) {
  return reinterpret_cast<F>(dlsym(plugin, name));
}

sim::Scenario OnePairedBoard() {
  sim::Scenario scenario = sim::DefaultScenario();
  scenario.boards.front().bluetooth.SetPaired(true);
  return scenario;
}

#if defined(__SANITIZE_ADDRESS__)
// The plug-in keeps a few tables for the life of the process; once it is unmapped nothing points
// at them any more, as after any unload. Not this test's subject.
using LeakCheckPause = __lsan::ScopedDisabler;
#else
struct LeakCheckPause {};
#endif

// The plug-in loaded as a host loads it, with the world's board found and opened through it.
class LibraryUnload : public ::testing::Test {
 protected:
  void SetUp() override {
    posix::UseVirtualClock(true);
    sim::World::Instance().Build(OnePairedBoard());
    threads = posix::LiveThreadCount();
    plugin = dlopen(PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(plugin, nullptr) << dlerror();
    ASSERT_EQ(Export<decltype(&FindDevice)>(plugin, "FindDevice")(&index), 1);
    ASSERT_EQ(Export<decltype(&Initialise)>(plugin, "Initialise")(index), 1);
  }
  void TearDown() override {
    sim::World::Instance().Clear();
    posix::UseVirtualClock(false);
  }

  [[maybe_unused]] LeakCheckPause pause;
  int threads = 0;
  void* plugin = nullptr;
  int index = -1;
};

TEST_F(LibraryUnload, WithABoardStreamingReturnsWithinTwoSecondsAndLeavesNoReaderRunning) {
  auto writeBuffer = Export<decltype(&WriteBuffer)>(plugin, "WriteBuffer");
  auto readBuffer = Export<decltype(&ReadBuffer)>(plugin, "ReadBuffer");
  ASSERT_EQ(writeBuffer(index, ">in/sampler/start\n", 18, 0), 1);
  char block[256];
  int size = 1;
  // The run's first report comes too soon for a frame, and wakes the host with none.
  for (int read = 0; read < 3 && size <= 1; ++read) {
    size = sizeof block;
    ASSERT_EQ(readBuffer(index, block, &size, 1000), 1);
  }
  ASSERT_GT(size, 1) << "streaming";
  ASSERT_EQ(posix::LiveThreadCount(), threads + 1);

  const uint64_t virtualStart = posix::NowMicros();
  const auto realStart = std::chrono::steady_clock::now();
  EXPECT_EQ(dlclose(plugin), 0);
  EXPECT_LT(posix::NowMicros() - virtualStart, kUnloadBoundMs * kMicrosPerMs);
  EXPECT_LT(std::chrono::steady_clock::now() - realStart, std::chrono::milliseconds(kUnloadBoundMs));
  EXPECT_EQ(dlopen(PLUGIN_PATH, RTLD_NOW | RTLD_NOLOAD), nullptr) << "the plug-in's code stayed mapped";
  EXPECT_TRUE(Eventually([&] { return posix::LiveThreadCount() == threads; })) << "a reader outlived the unload";
}

// The host unloads the plug-in without CloseAll while the reader is stuck in the driver: in a write
// that blocks (a link being paged) or behind a read that takes its time to cancel. The unload waits
// for the reader to come back, and no code is unmapped under it.
struct StuckDriver {
  const char* what;
  uint64_t writeMs;
  uint64_t cancelMs;
};

void PrintTo(const StuckDriver& driver, std::ostream* out) { *out << driver.what; }

class LibraryUnloadWithAStuckReader : public LibraryUnload, public ::testing::WithParamInterface<StuckDriver> {};

TEST_P(LibraryUnloadWithAStuckReader, UnmapsNothingUnderIt) {
  auto board = sim::World::Instance().Board(0);
  board->DelayWrites(GetParam().writeMs * kMicrosPerMs);
  board->DelayCancellation(GetParam().cancelMs * kMicrosPerMs);
  // The run's request for reports: the reader sends it, and the write blocks.
  ASSERT_EQ(Export<decltype(&WriteBuffer)>(plugin, "WriteBuffer")(index, ">in/sampler/start\n", 18, 0), 1);
  posix::AdvanceClock(100 * kMicrosPerMs);
  EXPECT_EQ(dlclose(plugin), 0);
  EXPECT_EQ(dlopen(PLUGIN_PATH, RTLD_NOW | RTLD_NOLOAD), nullptr) << "the plug-in's code stayed mapped";
  EXPECT_TRUE(Eventually([&] { return posix::LiveThreadCount() == threads; }, 30000)) << "the reader never ended";
  board->DelayWrites(0);
  board->DelayCancellation(0);
}

INSTANTIATE_TEST_SUITE_P(Drivers, LibraryUnloadWithAStuckReader,
                         ::testing::Values(StuckDriver{"a write that blocks for 13 s", 13'000, 0},
                                           StuckDriver{"a cancel that takes 5 s", 0, 5'000}));

// CloseAll returns while the reader is still in a write that blocks (a link going out of range);
// a host that unloads the plug-in next must not pull its code from under that reader.
TEST_F(LibraryUnload, AfterACloseThatLeftItsReaderInAWriteWaitsForThatReader) {
  sim::World::Instance().Board(0)->DelayWrites(13'000 * kMicrosPerMs);
  const uint64_t closeStart = posix::NowMicros();
  EXPECT_EQ(Export<decltype(&CloseAll)>(plugin, "CloseAll")(), 1);
  EXPECT_LT(posix::NowMicros() - closeStart, kUnloadBoundMs * kMicrosPerMs);
  ASSERT_EQ(posix::LiveThreadCount(), threads + 1) << "the reader is still writing the LED off";
  EXPECT_EQ(dlclose(plugin), 0);
  void* still = dlopen(PLUGIN_PATH, RTLD_NOW | RTLD_NOLOAD);
  EXPECT_NE(still, nullptr) << "unmapped under a running reader";
  if (still) dlclose(still);
  EXPECT_TRUE(Eventually([&] { return posix::LiveThreadCount() == threads; }, 30000)) << "the reader never ended";
  EXPECT_EQ(dlopen(PLUGIN_PATH, RTLD_NOW | RTLD_NOLOAD), nullptr) << "the reader's reference was never given back";
}

}  // namespace
