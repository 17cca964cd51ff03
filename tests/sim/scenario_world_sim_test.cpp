// A scenario brought to life: its events happen at their moment of world time, a world that is
// replaced takes its pending events with it, and PLANKSCALE_SIM picks the world.
#include "platform/posix/control.h"
#include "platform/posix/hid_endpoint.h"
#include "sim/load_timeline.h"
#include "sim/scenario_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr uint64_t kSecond = 1'000'000;
constexpr uint64_t kBoard = 0x0017ab3c4d5e;

class ScenarioWorld : public ::testing::Test {
 protected:
  void SetUp() override { posix::UseVirtualClock(true); }
  void TearDown() override {
    sim::World::Instance().Clear();
    posix::UseVirtualClock(false);
  }
  static void Build(const std::string& text) {
    sim::Scenario scenario;
    std::string error;
    ASSERT_TRUE(sim::ParseScenario(text, "test.scenario", scenario, error)) << error;
    sim::World::Instance().Build(scenario);
  }
  // Moves world time to at microseconds after the build at start.
  static void AdvanceTo(uint64_t start, uint64_t at) { posix::AdvanceClock(start + at - posix::NowMicros()); }
  static bool HidPresent(uint64_t address) {
    auto paths = sim::RegisteredHidDevicePaths();
    auto path = sim::BalanceBoard::DevicePathFor(sim::SerialNumberFor(address));
    return std::find(paths.begin(), paths.end(), path) != paths.end();
  }
  static sim::BluetoothDeviceState Bluetooth(uint64_t address) {
    sim::BluetoothDeviceState state;
    sim::BluetoothWorld::Instance().Device(address, state);
    return state;
  }
  static std::array<uint16_t, sim::kSensorCount> Expected(const sim::LoadModel& load, uint64_t at) {
    sim::Calibration calibration = sim::DefaultCalibration();
    sim::SensorLoads kg = load.At(at);
    std::array<uint16_t, sim::kSensorCount> raw{};
    for (int s = 0; s < sim::kSensorCount; ++s) raw[static_cast<size_t>(s)] = calibration.RawReading(s, kg[static_cast<size_t>(s)]);
    return raw;
  }
};

TEST_F(ScenarioWorld, EventsHappenAtTheirMomentOfWorldTime) {
  uint64_t start = posix::NowMicros();
  Build(
      "radio\n"
      "board paired yes\n"
      "  load sway 70 kg\n"
      "  at 1 s button press\n"
      "  at 2 s batteries fail\n"
      "  at 2.5 s batteries ok\n"
      "  at 3 s power off\n"
      "  at 4 s power on\n"
      "  at 6 s load empty\n");
  auto board = sim::World::Instance().Board(0);
  ASSERT_TRUE(board);
  EXPECT_TRUE(HidPresent(kBoard));

  // A remote that is not streaming sends a report when its button changes: one down, one up.
  AdvanceTo(start, 900'000);
  int reports = board->DataReportsSent();
  LARGE_INTEGER before, after;
  QueryPerformanceCounter(&before);
  AdvanceTo(start, 1'100'000);
  QueryPerformanceCounter(&after);
  EXPECT_EQ(board->DataReportsSent(), reports + 1);
  // Where the latency benchmarks start a report's way to the host.
  EXPECT_GT(board->LatestDataReportCounter(), before.QuadPart);
  EXPECT_LE(board->LatestDataReportCounter(), after.QuadPart);
  AdvanceTo(start, 1'300'000);
  EXPECT_EQ(board->DataReportsSent(), reports + 2);

  AdvanceTo(start, 2'100'000);
  EXPECT_EQ(board->SensorReadings(), (std::array<uint16_t, sim::kSensorCount>{})) << "flat batteries read zero";
  AdvanceTo(start, 2'600'000);
  EXPECT_NE(board->SensorReadings(), (std::array<uint16_t, sim::kSensorCount>{}));

  AdvanceTo(start, 3'100'000);
  EXPECT_FALSE(board->PoweredOn());
  EXPECT_FALSE(Bluetooth(kBoard).inRange);
  EXPECT_FALSE(HidPresent(kBoard));

  AdvanceTo(start, 4'500'000);
  EXPECT_TRUE(board->PoweredOn());
  EXPECT_TRUE(Bluetooth(kBoard).inRange);
  EXPECT_TRUE(Bluetooth(kBoard).connected) << "a paired board connects again";
  EXPECT_TRUE(HidPresent(kBoard));
  // The person did not start over when the board came back on.
  EXPECT_EQ(board->SensorReadings(), Expected(sim::SwayingPerson(70), 4'500'000));

  AdvanceTo(start, 6'100'000);
  EXPECT_EQ(board->SensorReadings(), Expected(sim::EmptyLoad(), 0));
}

TEST_F(ScenarioWorld, ASilentLinkHoldsWritesUntilThePageTimeOutAndIsGivenUpAtItsSupervisionTimeOut) {
  uint64_t start = posix::NowMicros();
  Build("radio\nboard paired yes\n  at 1 s out of range silent\n  supervision 8 s\n");
  auto board = sim::World::Instance().Board(0);
  const uint8_t status[sim::kBoardReportLength] = {0x15};
  const uint8_t stream[sim::kBoardReportLength] = {0x12, 0x04, 0x32};
  DWORD error = 0;
  ASSERT_TRUE(board->OnOutputReport(stream, sizeof stream, &error));
  AdvanceTo(start, 1'100'000);
  int reports = board->DataReportsSent();
  EXPECT_GT(reports, 50) << "streaming until the link went silent";
  EXPECT_FALSE(board->OnOutputReport(status, sizeof status, &error));
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_SEM_TIMEOUT));
  EXPECT_NEAR(static_cast<double>(posix::NowMicros() - start), 1'100'000.0 + sim::kPageTimeoutMicros, 60'000.0);
  EXPECT_EQ(board->DataReportsSent(), reports);
  EXPECT_TRUE(HidPresent(kBoard)) << "the system holds on to the link until its supervision time-out";

  EXPECT_FALSE(board->OnOutputReport(status, sizeof status, &error));
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED)) << "given up while this write waited";
  EXPECT_NEAR(static_cast<double>(posix::NowMicros() - start), 9'000'000.0, 60'000.0);
  EXPECT_FALSE(HidPresent(kBoard));
  EXPECT_FALSE(Bluetooth(kBoard).connected);
}

TEST_F(ScenarioWorld, ANewWorldTakesThePendingEventsOfTheOldOneWithIt) {
  uint64_t start = posix::NowMicros();
  Build("radio\nboard paired yes\n  at 1 s power off\n");
  Build("radio\nboard paired yes\n");
  AdvanceTo(start, 2 * kSecond);
  auto board = sim::World::Instance().Board(0);
  ASSERT_TRUE(board);
  EXPECT_TRUE(board->PoweredOn());
  EXPECT_TRUE(Bluetooth(kBoard).inRange);
}

TEST_F(ScenarioWorld, TheEnvironmentNamesTheWorld) {
  const char* before = std::getenv(sim::kScenarioVariable);
  std::string saved = before ? before : "";
  std::string path = ::testing::TempDir() + "scenario_world_test.scenario";

  std::FILE* file = std::fopen(path.c_str(), "w");
  ASSERT_NE(file, nullptr);
  std::fputs("radio\nradio\nboard paired yes\nboard\n", file);
  std::fclose(file);
  setenv(sim::kScenarioVariable, path.c_str(), 1);
  sim::World::Instance().BuildFromEnvironment();
  EXPECT_EQ(sim::BluetoothWorld::Instance().RadioAddresses().size(), 2u);
  EXPECT_EQ(sim::World::Instance().BoardCount(), 2u);

  file = std::fopen(path.c_str(), "w");
  ASSERT_NE(file, nullptr);
  std::fputs("radio\nboard\n  load sway heavy\n", file);
  std::fclose(file);
  ::testing::internal::CaptureStderr();
  sim::World::Instance().BuildFromEnvironment();
  std::string said = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find(path + ":3: 'heavy' is not a number for the weight"), std::string::npos) << said;
  EXPECT_NE(said.find("the simulated world is empty"), std::string::npos) << said;
  EXPECT_TRUE(sim::BluetoothWorld::Instance().RadioAddresses().empty());
  EXPECT_EQ(sim::World::Instance().BoardCount(), 0u);

  unsetenv(sim::kScenarioVariable);
  sim::World::Instance().BuildFromEnvironment();
  EXPECT_EQ(sim::BluetoothWorld::Instance().RadioAddresses(), std::vector<uint64_t>{sim::kDefaultRadioAddress});
  ASSERT_EQ(sim::World::Instance().BoardCount(), 1u);
  EXPECT_EQ(sim::World::Instance().BoardAddress(0), sim::kDefaultBoardAddress);
  EXPECT_FALSE(Bluetooth(sim::kDefaultBoardAddress).remembered) << "the default board waits to be paired";

  if (before) setenv(sim::kScenarioVariable, saved.c_str(), 1);
  std::remove(path.c_str());
}

}  // namespace
