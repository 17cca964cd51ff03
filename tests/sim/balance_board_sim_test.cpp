// The simulated balance board on its own, through the HID calls a host makes: what it answers,
// how it streams, its load model and calibration, its faults, and that it can go away cleanly.
#include "platform/posix/control.h"
#include "sim/balance_board.h"
#include "sim/sampling_starts.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
constexpr DWORD kReadWaitMs = 500;

// One open handle on a simulated board, read the way a Windows program reads a HID device.
class HostSide {
 public:
  explicit HostSide(const sim::BoardSettings& settings = sim::BoardSettings())
      : board(sim::BalanceBoard::Create(settings)), path_(sim::BalanceBoard::DevicePathFor(settings.serialNumber)) {
    sim::RegisterHidDevice(path_, board);
    handle_ = CreateFileW(path_.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    event_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  }
  ~HostSide() {
    CloseHandle(event_);
    CloseHandle(handle_);
    sim::UnregisterHidDevice(path_);
  }

  BOOL Send(std::initializer_list<uint8_t> start) {
    Bytes report(start);
    report.resize(sim::kBoardReportLength, 0);
    return HidD_SetOutputReport(handle_, report.data(), static_cast<ULONG>(report.size()));
  }
  // The next input report; empty when none came within the wait or the read failed.
  Bytes Read(DWORD* error = nullptr) {
    uint8_t buffer[sim::kBoardReportLength] = {0};
    OVERLAPPED overlapped = {};
    overlapped.hEvent = event_;
    DWORD code = 0;
    if (!ReadFile(handle_, buffer, sizeof buffer, nullptr, &overlapped)) {
      code = GetLastError();
      if (code == ERROR_IO_PENDING) {
        if (WaitForSingleObject(event_, kReadWaitMs) != WAIT_OBJECT_0) {
          CancelIo(handle_);
          code = WAIT_TIMEOUT;
        } else {
          code = static_cast<DWORD>(overlapped.Internal);
        }
      }
    }
    if (error) *error = code;
    if (code != 0) return {};
    return Bytes(buffer, buffer + overlapped.InternalHigh);
  }
  // The next report with this id, skipping others.
  Bytes ReadId(uint8_t id) {
    for (int i = 0; i < 100; ++i) {
      Bytes r = Read();
      if (r.empty() || r[0] == id) return r;
    }
    return {};
  }

  std::shared_ptr<sim::BalanceBoard> board;

 private:
  std::wstring path_;
  HANDLE handle_;
  HANDLE event_;
};

uint16_t Sensor(const Bytes& report, int offset, int s) {
  return static_cast<uint16_t>(report[static_cast<size_t>(offset + 2 * s)] << 8 | report[static_cast<size_t>(offset + 2 * s + 1)]);
}

class SimulatedBoard : public ::testing::Test {
 protected:
  SimulatedBoard() { posix::UseVirtualClock(true); }
  ~SimulatedBoard() override { posix::UseVirtualClock(false); }
};

TEST_F(SimulatedBoard, AnswersStatusAndAcknowledges) {
  HostSide host;
  host.board->SetBatteryLevel(0x83);
  ASSERT_TRUE(host.Send({0x15, 0x00}));
  Bytes status = host.Read();
  ASSERT_EQ(status.size(), sim::kBoardReportLength);
  EXPECT_EQ(status[0], 0x20);
  EXPECT_EQ(status[3], 0x02) << "extension connected, batteries fine, LEDs off";
  EXPECT_EQ(status[6], 0x83);

  ASSERT_TRUE(host.Send({0x11, 0x10}));
  DWORD error = 0;
  EXPECT_TRUE(host.Read(&error).empty()) << "no acknowledgement unless the report asks for one";
  ASSERT_TRUE(host.Send({0x11, 0x12}));
  EXPECT_EQ(host.Read(), Bytes({0x22, 0x00, 0x00, 0x11, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  ASSERT_TRUE(host.Send({0x15, 0x00}));
  EXPECT_EQ(host.Read()[3], 0x12) << "LED 1 shows in the flags";

  host.board->SetBatteryLevel(0x10);
  ASSERT_TRUE(host.Send({0x15, 0x00}));
  EXPECT_EQ(host.Read()[3] & 0x01, 0x01) << "nearly empty";
}

TEST_F(SimulatedBoard, ExtensionRegistersNeedTheInitialisation) {
  HostSide host;
  ASSERT_TRUE(host.Send({0x17, 0x04, 0xA4, 0x00, 0xFE, 0x00, 0x02}));
  Bytes early = host.Read();
  EXPECT_EQ(early[0], 0x21);
  EXPECT_EQ(early[3], 0xF7) << "error 7, and sixteen bytes of nothing";

  ASSERT_TRUE(host.Send({0x16, 0x04, 0xA4, 0x00, 0xF0, 0x01, 0x55}));
  EXPECT_EQ(host.Read()[4], 0x00);
  EXPECT_FALSE(host.board->ExtensionReady());
  ASSERT_TRUE(host.Send({0x16, 0x04, 0xA4, 0x00, 0xFB, 0x01, 0x00}));
  EXPECT_EQ(host.Read()[4], 0x00);
  EXPECT_TRUE(host.board->ExtensionReady());

  ASSERT_TRUE(host.Send({0x17, 0x04, 0xA4, 0x00, 0xFE, 0x00, 0x02}));
  Bytes id = host.Read();
  EXPECT_EQ(id[3], 0x10);
  EXPECT_EQ(id[4], 0x00);
  EXPECT_EQ(id[5], 0xFE);
  EXPECT_EQ(id[6], 0x04);
  EXPECT_EQ(id[7], 0x02);

  host.board->PowerOff();
  host.board->PowerOn();
  EXPECT_FALSE(host.board->ExtensionReady()) << "switching off forgets it";
}

TEST_F(SimulatedBoard, LongReadsComeInPiecesOfSixteen) {
  HostSide host;
  host.Send({0x16, 0x04, 0xA4, 0x00, 0xF0, 0x01, 0x55});
  host.Send({0x16, 0x04, 0xA4, 0x00, 0xFB, 0x01, 0x00});
  host.ReadId(0x22);
  host.ReadId(0x22);
  ASSERT_TRUE(host.Send({0x17, 0x04, 0xA4, 0x00, 0x24, 0x00, 0x18}));
  Bytes first = host.Read();
  Bytes second = host.Read();
  EXPECT_EQ(first[3], 0xF0);
  EXPECT_EQ(first[5], 0x24);
  EXPECT_EQ(second[3], 0x70);
  EXPECT_EQ(second[5], 0x34);
  sim::Calibration c = sim::DefaultCalibration();
  for (int s = 0; s < 4; ++s) {
    EXPECT_EQ(Sensor(first, 6, s), c.readings[0][static_cast<size_t>(s)]);
    EXPECT_EQ(Sensor(first, 14, s), c.readings[1][static_cast<size_t>(s)]);
    EXPECT_EQ(Sensor(second, 6, s), c.readings[2][static_cast<size_t>(s)]);
  }
}

TEST_F(SimulatedBoard, StreamsAtItsReportInterval) {
  HostSide host;
  ASSERT_TRUE(host.Send({0x12, 0x06, 0x32}));
  EXPECT_EQ(host.Read()[0], 0x22) << "acknowledged, as asked";
  EXPECT_EQ(host.Read()[0], 0x32) << "a first report at once";
  uint64_t start = posix::NowMicros();
  int reports = 0;
  while (posix::NowMicros() - start < 1'000'000) {
    Bytes r = host.Read();
    ASSERT_FALSE(r.empty());
    EXPECT_EQ(r[0], 0x32);
    ++reports;
  }
  EXPECT_NEAR(reports, 60, 2);

  host.board->SetReportInterval(10'000, 0);
  ASSERT_TRUE(host.Send({0x12, 0x04, 0x32}));
  host.Read();
  host.Read();  // the first streamed report
  start = posix::NowMicros();
  for (int i = 0; i < 100; ++i) ASSERT_FALSE(host.Read().empty());
  EXPECT_EQ(posix::NowMicros() - start, 1'000'000u) << "exactly every 10 ms without jitter";

  ASSERT_TRUE(host.Send({0x12, 0x00, 0x30}));
  host.ReadId(0x30);
  DWORD error = 0;
  EXPECT_TRUE(host.Read(&error).empty()) << "no more reports without continuous reporting";
  EXPECT_EQ(error, static_cast<DWORD>(WAIT_TIMEOUT));
}

TEST_F(SimulatedBoard, SensorReadingsFollowTheLoadThroughTheCalibration) {
  HostSide host;
  host.board->SetLoadModel(std::make_shared<sim::FixedLoad>(sim::SensorLoads{10.0, 20.0, 30.0, 0.0}));
  ASSERT_TRUE(host.Send({0x12, 0x00, 0x32}));
  Bytes report = host.ReadId(0x32);
  ASSERT_FALSE(report.empty());
  sim::Calibration c = sim::DefaultCalibration();
  const double kilograms[4] = {10.0, 20.0, 30.0, 0.0};
  for (int s = 0; s < 4; ++s) {
    size_t i = static_cast<size_t>(s);
    EXPECT_EQ(Sensor(report, 3, s), c.RawReading(s, kilograms[s]));
    // What the plug-in's conversion gives back from the two outer reference points.
    double perKilogram = (c.readings[2][i] - c.readings[0][i]) / 34.0;
    EXPECT_NEAR((Sensor(report, 3, s) - c.readings[0][i]) / perKilogram, kilograms[s], 0.01);
  }
  EXPECT_EQ(report[2] & 0x08, 0);

  host.board->SetButton(true);
  Bytes pressed = host.ReadId(0x32);
  EXPECT_EQ(pressed[2] & 0x08, 0x08) << "a button change is reported at once";

  host.board->SetBatteriesFailing(true);
  host.board->SetButton(false);
  Bytes flat = host.ReadId(0x32);
  EXPECT_EQ(Bytes(flat.begin() + 3, flat.begin() + 11), Bytes(8, 0)) << "flat batteries read zero";
}

TEST_F(SimulatedBoard, PoweredOffItFailsReadsAndWrites) {
  HostSide host;
  ASSERT_TRUE(host.Send({0x12, 0x04, 0x32}));
  host.Read();
  host.board->PowerOff();
  DWORD error = 0;
  EXPECT_TRUE(host.Read(&error).empty());
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));
  EXPECT_FALSE(host.Send({0x15}));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));

  host.board->PowerOn();
  EXPECT_EQ(host.board->ReportingMode(), 0x30);
  EXPECT_FALSE(host.board->ContinuousReporting());
  ASSERT_TRUE(host.Send({0x15}));
  EXPECT_EQ(host.ReadId(0x20).size(), sim::kBoardReportLength);
}

// A status report of the board's own stops its stream; the host's answer, the mode set again,
// picks it up and is no run start (a replay waiting for the run would start over).
TEST_F(SimulatedBoard, AStatusReportOfItsOwnStopsTheStreamUntilTheModeIsSetAgain) {
  sim::BoardSettings settings;
  settings.samplingStarts = std::make_shared<sim::SamplingStarts>();
  HostSide host(settings);
  ASSERT_TRUE(host.Send({0x12, 0x00, 0x30}));  // the open: button reports, then continuous ones
  ASSERT_TRUE(host.Send({0x12, 0x04, 0x32}));
  ASSERT_TRUE(host.Send({0x12, 0x04, 0x32}));  // a run starts
  const uint64_t runStart = settings.samplingStarts->Latest();
  ASSERT_NE(runStart, sim::SamplingStarts::kNone);
  posix::AdvanceClock(100'000);

  host.board->SendStatusReport();
  ASSERT_FALSE(host.ReadId(0x20).empty());
  EXPECT_FALSE(host.board->ContinuousReporting());
  ASSERT_TRUE(host.Send({0x12, 0x04, 0x32}));
  EXPECT_TRUE(host.board->ContinuousReporting());
  EXPECT_EQ(settings.samplingStarts->Latest(), runStart);
}

TEST_F(SimulatedBoard, GoesAwayCleanlyWhileStreaming) {
  std::weak_ptr<sim::BalanceBoard> gone;
  {
    HostSide host;
    ASSERT_TRUE(host.Send({0x12, 0x04, 0x32}));
    host.Read();
    gone = host.board;
    host.board.reset();
  }
  EXPECT_TRUE(gone.expired());
  posix::AdvanceClock(1'000'000);  // any timer it left would now touch freed memory
}

TEST_F(SimulatedBoard, RepliesAreInOrderOnTheRealClockToo) {
  posix::UseVirtualClock(false);
  HostSide host;
  ASSERT_TRUE(host.Send({0x12, 0x04, 0x32}));
  ASSERT_TRUE(host.Send({0x15}));
  EXPECT_FALSE(host.ReadId(0x20).empty());
  DWORD error = 0;
  EXPECT_TRUE(host.Read(&error).empty()) << "a status report ends continuous reporting";
  EXPECT_EQ(host.board->ReportingMode(), 0x00);
  ASSERT_TRUE(host.Send({0x12, 0x04, 0x32}));
  for (int i = 0; i < 5; ++i) EXPECT_EQ(host.Read().size(), sim::kBoardReportLength);
  host.board->PowerOff();
}

TEST(LoadModels, SplitTheMassByTheCentreOfPressure) {
  sim::SensorLoads centred = sim::Distribute(80.0, 0.0, 0.0);
  for (double kg : centred) EXPECT_DOUBLE_EQ(kg, 20.0);
  sim::SensorLoads right = sim::Distribute(80.0, sim::kSensorSpanXMillimetres / 2, 0.0);
  EXPECT_DOUBLE_EQ(right[0] + right[1], 80.0) << "all on the right-hand sensors";
  sim::SwayingPerson person(70.0);
  for (uint64_t t = 0; t < 10'000'000; t += 777'777) {
    sim::SensorLoads loads = person.At(t);
    EXPECT_NEAR(loads[0] + loads[1] + loads[2] + loads[3], 70.0, 1e-9);
  }
}

}  // namespace
