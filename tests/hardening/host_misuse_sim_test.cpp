// What a host may do out of order: open a device that is open already.
#include "testing/eventually.h"
#include "testing/fake_device.h"
#include "testing/scripted_endpoint.h"

#include <gtest/gtest.h>

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

}  // namespace
