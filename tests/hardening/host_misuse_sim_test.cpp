// What a host may do out of order: open a device that is open already; read a message into the
// buffer it sized for a device that another thread has since closed.
#include "platform/posix/control.h"
#include "plugin/exports.h"
#include "sim/world.h"
#include "testing/eventually.h"
#include "testing/fake_device.h"
#include "testing/scripted_endpoint.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using testing_support::Eventually;
using testing_support::FakeDevice;
using testing_support::FrameReport;
using testing_support::ScriptedDevice;

TEST(HostMisuse, SecondInitialiseKeepsTheOneReaderAndWhatItHolds) {
  const int threads = posix::LiveThreadCount();
  const int handles = posix::LiveHandleCount();
  {
    ScriptedDevice sim;
    FakeDevice device(sim.Open(), L"Board", L"1");
    ASSERT_TRUE(device.Initialise());
    device.WriteBuffer(">in/sampler/start\n", 18, 0);
    sim.Endpoint().Send(FrameReport({1, 2, 3, 4}));
    ASSERT_TRUE(Eventually([&] { return device.ReadBuffSize() == 4; }));

    EXPECT_TRUE(device.Initialise());
    EXPECT_EQ(posix::LiveThreadCount(), threads + 1);
    EXPECT_EQ(device.ReadBuffSize(), 4) << "the rings were replaced under the reader";
    sim.Endpoint().Send(FrameReport({5, 6, 7, 8}));
    ASSERT_TRUE(Eventually([&] { return device.ReadBuffSize() == 8; }));
  }
  EXPECT_TRUE(Eventually([&] { return posix::LiveThreadCount() == threads; }));
  EXPECT_EQ(posix::LiveHandleCount(), handles);
}

// The host asks how long device 0's message is and allocates that; meanwhile another thread closes
// everything and finds the board again, and index 0 now holds a device with a long message.
TEST(HostMisuse, AMessageReadIntoABufferSizedForAnotherDeviceStaysInIt) {
  posix::UseVirtualClock(true);
  sim::Scenario scenario = sim::DefaultScenario();
  scenario.boards.front().bluetooth.SetPaired(true);
  sim::World::Instance().Build(scenario);
  int index = -1;
  ASSERT_EQ(FindDevice(&index), 1);
  const int quoted = GetLastErrorMsg(index, nullptr);
  ASSERT_EQ(quoted, 1);
  CloseAll();
  sim::World::Instance().Board(0)->ArmFault(0x15, sim::ReplyFault::NoReply());
  ASSERT_EQ(FindDevice(&index), 1);
  ASSERT_EQ(Initialise(index), 0) << "the open fails: a long message waits";
  std::string buffer(static_cast<size_t>(quoted) + 16, 'x');
  EXPECT_EQ(GetLastErrorMsg(index, &buffer[0]), quoted);
  EXPECT_EQ(buffer, std::string(1, '\0') + std::string(16, 'x')) << "written past the size this thread was told";
  CloseAll();
  sim::World::Instance().Clear();
  posix::UseVirtualClock(false);
}

}  // namespace
