// The exchanges drive a simulated board from power-on to continuous reporting, reading its
// calibration back exactly on the way.
#include "testing/board_rig.h"
#include "wii/wii_reports.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using testing_support::BoardRig;
using testing_support::UnusualBoard;
using testing_support::VirtualClock;

TEST(BoardConversation, FromPowerOnToContinuousReporting) {
  VirtualClock clock;
  sim::BoardSettings settings = UnusualBoard();
  BoardRig rig(settings);
  rig.board->SetLoadModel(std::make_shared<sim::SwayingPerson>(70.0));
  auto& board = *rig.device;

  board.SetReportingMode(Kestrel::kReportButtons, false);
  int battery = 0;
  uint8_t flags = 0;
  ASSERT_EQ(board.RequestStatus(&battery, &flags), 0u);
  EXPECT_EQ(battery, 0xB4 / 2);
  ASSERT_TRUE(flags & Kestrel::kStatusExtension);
  ASSERT_EQ(board.WriteRegister(Kestrel::kRegisterExtensionInitFirst, Kestrel::kExtensionInitFirstValue), 0u);
  ASSERT_EQ(board.WriteRegister(Kestrel::kRegisterExtensionInitSecond, Kestrel::kExtensionInitSecondValue), 0u);
  uint8_t type[2] = {0, 0};
  ASSERT_EQ(board.ReadMemory(Kestrel::kRegisterExtensionType, 2, type), 0u);
  EXPECT_EQ(type[0], 0x04);
  EXPECT_EQ(type[1], 0x02);

  uint8_t block[24];
  std::memset(block, 0, sizeof block);
  ASSERT_EQ(board.ReadMemory(Kestrel::kRegisterCalibration, 16, block), 0u);
  ASSERT_EQ(board.ReadMemory(Kestrel::kRegisterCalibrationRest, 8, block + 16), 0u);
  for (int p = 0; p < 3; ++p)
    for (int s = 0; s < 4; ++s)
      EXPECT_EQ(block[8 * p + 2 * s] * 256 + block[8 * p + 2 * s + 1],
                settings.calibration.readings[static_cast<size_t>(p)][static_cast<size_t>(s)])
          << "point " << p << ", sensor " << s;

  ASSERT_EQ(board.SetReportingMode(Kestrel::kReportButtonsExtension, true), 0u);
  board.SetLed(true);
  EXPECT_EQ(rig.board->Leds(), 0x1);
  EXPECT_TRUE(rig.board->ContinuousReporting());

  // From now on the stream is data reports, about sixty a second, with plausible readings.
  uint64_t start = posix::NowMicros();
  int reports = 0;
  while (posix::NowMicros() - start < 2'000'000) {
    uint8_t report[Kestrel::kWiiReportLength];
    int length = Kestrel::kWiiReportLength;
    ASSERT_EQ(board.ReadInputReport(report, &length), 0u);
    ASSERT_EQ(report[0], Kestrel::kReportButtonsExtension);
    ++reports;
    double total = 0;
    for (size_t s = 0; s < 4; ++s) {
      // The sensor passes through all three of its points, and this board's middle one is far
      // off the line between the outer two.
      double raw = report[3 + 2 * s] << 8 | report[4 + 2 * s];
      const auto& c = settings.calibration.readings;
      total += raw <= c[1][s] ? (raw - c[0][s]) * 17.0 / (c[1][s] - c[0][s])
                              : 17.0 + (raw - c[1][s]) * 17.0 / (c[2][s] - c[1][s]);
    }
    EXPECT_NEAR(total, 70.0, 0.1);
  }
  EXPECT_NEAR(reports, 120, 3);
}

}  // namespace
