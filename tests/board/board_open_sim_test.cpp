// Opening and closing a simulated board: the conversation, the calibration it reads back, and
// each way the open can fail.
#include "platform/posix/control.h"
#include "testing/board_rig.h"
#include "testing/last_message.h"
#include "wii/wii_reports.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using testing_support::BoardRig;
using testing_support::LastMessage;
using testing_support::UnusualBoard;
using testing_support::VirtualClock;
using Bytes = std::vector<uint8_t>;

const char kDisconnectText[] =
    "The Nintendo RVL-WBC-01 has disconnected from your computer. Check the batteries, or bring it closer. ";

// The first bytes of every output report the board received, in order.
std::vector<Bytes> Requests(const BoardRig& rig, size_t bytes) {
  std::vector<Bytes> heads;
  for (const auto& report : rig.board->OutputReports()) heads.emplace_back(report.begin(), report.begin() + bytes);
  return heads;
}

TEST(BoardOpen, CalibratesSwitchesToSensorReportsAndLightsTheLed) {
  VirtualClock clock;
  sim::BoardSettings settings = UnusualBoard();
  BoardRig rig(settings);
  auto& board = *rig.device;
  ASSERT_TRUE(board.Initialise());

  EXPECT_EQ(Requests(rig, 7), (std::vector<Bytes>{
                                  {0x12, 0x00, 0x30, 0, 0, 0, 0},
                                  {0x15, 0, 0, 0, 0, 0, 0},
                                  {0x16, 0x04, 0xA4, 0x00, 0xF0, 0x01, 0x55},
                                  {0x16, 0x04, 0xA4, 0x00, 0xFB, 0x01, 0x00},
                                  {0x17, 0x04, 0xA4, 0x00, 0xFE, 0x00, 0x02},
                                  {0x17, 0x04, 0xA4, 0x00, 0x24, 0x00, 0x10},
                                  {0x17, 0x04, 0xA4, 0x00, 0x34, 0x00, 0x08},
                                  {0x11, 0x10, 0, 0, 0, 0, 0},
                                  {0x12, 0x04, 0x32, 0, 0, 0, 0},
                              }));
  EXPECT_EQ(board.Calibration(0, 0), 4660) << "block bytes 0x12 0x34";
  for (int p = 0; p < 3; ++p)
    for (int s = 0; s < 4; ++s)
      EXPECT_EQ(board.Calibration(s, p), settings.calibration.readings[static_cast<size_t>(p)][static_cast<size_t>(s)])
          << "sensor " << s << ", point " << p;
  EXPECT_EQ(rig.board->ReportingMode(), Kestrel::kReportButtonsExtension);
  EXPECT_TRUE(rig.board->ContinuousReporting());
  EXPECT_EQ(rig.board->Leds(), 0x1);
  EXPECT_TRUE(board.LedOn());
  EXPECT_TRUE(board.ReaderRunning());
  EXPECT_FALSE(board.IsFailed());
  EXPECT_FALSE(board.BatteryLow());
  EXPECT_TRUE(board.Initialise()) << "already open: nothing more is said to the board";
  EXPECT_EQ(rig.board->OutputReports().size(), 9u);

  rig.device.reset();
  EXPECT_EQ(rig.board->Leds(), 0x0) << "closing switches LED 1 off";
  EXPECT_EQ(rig.LastOutput(), Bytes({0x11, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(BoardOpen, WithoutAnExtensionItOpensUncalibratedAndMakesNoFrames) {
  VirtualClock clock;
  sim::BoardSettings settings;
  settings.extensionReported = false;
  BoardRig rig(settings);
  auto& board = *rig.device;
  ASSERT_TRUE(board.Initialise());
  EXPECT_EQ(Requests(rig, 3), (std::vector<Bytes>{{0x12, 0, 0x30}, {0x15, 0, 0}, {0x12, 0, 0x30}}))
      << "button reports again after the status switched them off";
  for (int p = 0; p < 3; ++p)
    for (int s = 0; s < 4; ++s) EXPECT_EQ(board.Calibration(s, p), 0);
  EXPECT_FALSE(rig.board->ContinuousReporting());
  EXPECT_EQ(rig.board->Leds(), 0x0) << "LED 1 stays dark";

  board.WriteBuffer(">in/sampler/start\n", 18, 0);
  char block[200];
  int size = sizeof block;
  EXPECT_FALSE(board.ReadBuffer(block, &size, 2000));
  EXPECT_EQ(board.ReadBuffSize(), 0);
}

TEST(BoardOpen, AGarbledMemoryReplyIsAskedAgain) {
  VirtualClock clock;
  sim::BoardSettings settings = UnusualBoard();
  BoardRig rig(settings);
  rig.board->ArmFault(0x17, sim::ReplyFault::Short(7));       // the type read, one byte short
  rig.board->ArmFault(0x17, sim::ReplyFault());               // the type read, again: as usual
  rig.board->ArmFault(0x17, sim::ReplyFault::Short(12));      // the first sixteen calibration bytes
  ASSERT_TRUE(rig.device->Initialise());
  EXPECT_TRUE(rig.board->ContinuousReporting());
  for (int s = 0; s < 4; ++s)
    for (int point = 0; point < 3; ++point)
      EXPECT_EQ(rig.device->Calibration(s, point),
                settings.calibration.readings[static_cast<size_t>(point)][static_cast<size_t>(s)]);
}

TEST(BoardOpen, AButtonReportBeforeAnyReplyShiftsNothing) {
  VirtualClock clock;
  sim::BoardSettings settings = UnusualBoard();
  BoardRig rig(settings);
  for (uint8_t request : {0x15, 0x16, 0x16, 0x17, 0x17, 0x17})
    rig.board->ArmFault(request, sim::ReplyFault::DataReportsFirst(1, 0x30));
  ASSERT_TRUE(rig.device->Initialise());
  const std::vector<Bytes> eachOnce = {{0x12}, {0x15}, {0x16}, {0x16}, {0x17}, {0x17}, {0x17}, {0x11}, {0x12}};
  EXPECT_EQ(Requests(rig, 1), eachOnce) << "no read asked twice";
  for (int s = 0; s < 4; ++s)
    for (int point = 0; point < 3; ++point)
      EXPECT_EQ(rig.device->Calibration(s, point),
                settings.calibration.readings[static_cast<size_t>(point)][static_cast<size_t>(s)]);
}

TEST(BoardOpen, MemoryThatNeverArrivesWholeFailsTheOpenRatherThanOpeningABoardThatCannotSample) {
  VirtualClock clock;
  BoardRig rig;
  for (int attempt = 0; attempt < 3; ++attempt) rig.board->ArmFault(0x17, sim::ReplyFault::Short(5));
  EXPECT_FALSE(rig.device->Initialise());
  EXPECT_TRUE(rig.device->IsFailed());
  EXPECT_EQ(LastMessage(*rig.device), std::string(kDisconnectText) + "(Error $5000)");
}

TEST(BoardOpen, AReaderThreadThatCannotStartFailsTheOpenAndLeavesNothingBehind) {
  VirtualClock clock;
  const int threads = posix::LiveThreadCount();
  const int handles = posix::LiveHandleCount();
  {
    BoardRig rig;
    posix::FailThreadCreations(1);
    EXPECT_FALSE(rig.device->Initialise());
    posix::FailThreadCreations(0);
    EXPECT_TRUE(rig.device->IsFailed());
    EXPECT_EQ(LastMessage(*rig.device), std::string(kDisconnectText) + "(Error $8)");
    EXPECT_EQ(posix::LiveThreadCount(), threads);
    rig.device.reset();
    EXPECT_EQ(rig.board->Leds(), 0) << "the LED stays on after a failed open";
  }
  EXPECT_EQ(posix::LiveHandleCount(), handles);
}

TEST(BoardOpen, LowBatteryAtOpenIsRemembered) {
  VirtualClock clock;
  sim::BoardSettings settings;
  settings.batteryLevel = 0x10;
  BoardRig rig(settings);
  ASSERT_TRUE(rig.device->Initialise());
  EXPECT_TRUE(rig.device->BatteryLow());
}

// What real boards answer during an open now and then: memory reads answered with an error (7:
// the extension did not answer, 8: no such address, 4: busy), writes acknowledged "busy" while
// the extension initialises, and status reports sent unasked when its state changes. The faults
// are armed in order for one kind of request; a plain ReplyFault() leaves that reply alone.
struct ErrorAnswer {
  const char* what;
  uint8_t request;
  std::vector<sim::ReplyFault> faults;
  const char* failure;  // null: the open succeeds, calibrated exactly and streaming
  size_t requestsOfThatKind;
};

void PrintTo(const ErrorAnswer& answer, std::ostream* out) { *out << answer.what; }

class BoardAnswersWithErrors : public ::testing::TestWithParam<ErrorAnswer> {};

TEST_P(BoardAnswersWithErrors, AndTheOpenNeverTakesAnErrorForData) {
  VirtualClock clock;
  sim::BoardSettings settings = UnusualBoard();
  BoardRig rig(settings);
  for (const auto& fault : GetParam().faults) rig.board->ArmFault(GetParam().request, fault);
  bool opened = rig.device->Initialise();
  size_t sent = 0;
  for (const auto& report : rig.board->OutputReports()) sent += report[0] == GetParam().request;
  EXPECT_EQ(sent, GetParam().requestsOfThatKind);
  if (GetParam().failure) {
    EXPECT_FALSE(opened);
    EXPECT_EQ(LastMessage(*rig.device), std::string(kDisconnectText) + GetParam().failure);
    return;
  }
  ASSERT_TRUE(opened) << LastMessage(*rig.device);
  for (int p = 0; p < 3; ++p)
    for (int s = 0; s < 4; ++s)
      EXPECT_EQ(rig.device->Calibration(s, p),
                settings.calibration.readings[static_cast<size_t>(p)][static_cast<size_t>(s)])
          << "sensor " << s << ", point " << p;
  EXPECT_TRUE(rig.board->ContinuousReporting());
  EXPECT_EQ(rig.board->ReportingMode(), Kestrel::kReportButtonsExtension);
}

using sim::ReplyFault;
const ReplyFault kAsUsual;
INSTANTIATE_TEST_SUITE_P(
    RealBoards, BoardAnswersWithErrors,
    ::testing::Values(
        ErrorAnswer{"error 7 to the type read", 0x17, {ReplyFault::ReadError(7)}, nullptr, 4},
        ErrorAnswer{"error 8 to every type read", 0x17,
                    {ReplyFault::ReadError(8), ReplyFault::ReadError(8), ReplyFault::ReadError(8)}, "(Error $5108)", 3},
        ErrorAnswer{"error 7 to the first calibration read", 0x17, {kAsUsual, ReplyFault::ReadError(7)}, nullptr, 4},
        ErrorAnswer{"error 8 to every first calibration read", 0x17,
                    {kAsUsual, ReplyFault::ReadError(8), ReplyFault::ReadError(8), ReplyFault::ReadError(8)},
                    "(Error $5108)", 4},
        ErrorAnswer{"error 7 to the second calibration read", 0x17,
                    {kAsUsual, kAsUsual, ReplyFault::ReadError(7)}, nullptr, 4},
        ErrorAnswer{"error 8 to every second calibration read", 0x17,
                    {kAsUsual, kAsUsual, ReplyFault::ReadError(8), ReplyFault::ReadError(8), ReplyFault::ReadError(8)},
                    "(Error $5108)", 5},
        ErrorAnswer{"busy, to a calibration read", 0x17, {kAsUsual, ReplyFault::ReadError(4)}, nullptr, 4},
        ErrorAnswer{"busy, to a write", 0x16, {ReplyFault::AckError(4)}, nullptr, 3},
        ErrorAnswer{"busy, to every write", 0x16, std::vector<ReplyFault>(5, ReplyFault::AckError(4)), "(Error $5104)", 5},
        ErrorAnswer{"a status before the first write's acknowledgement", 0x16, {ReplyFault::StatusFirst()}, nullptr, 2},
        ErrorAnswer{"a status before the second write's acknowledgement", 0x16,
                    {kAsUsual, ReplyFault::StatusFirst()}, nullptr, 2},
        ErrorAnswer{"a status as LED 1 lights", 0x11, {ReplyFault::StatusFirst()}, nullptr, 1},
        ErrorAnswer{"a status as the mode changes: sent again", 0x12, {kAsUsual, ReplyFault::StatusFirst()}, nullptr,
                    3}));

struct FailingOpen {
  uint8_t request;
  sim::ReplyFault fault;
  const char* code;
  uint64_t cancelDelayMicros = 0;  // a driver slow to cancel the read that waited in vain
};

class BoardOpenFails : public ::testing::TestWithParam<FailingOpen> {};

TEST_P(BoardOpenFails, WithTheDisconnectMessageAndNoReader) {
  VirtualClock clock;
  BoardRig rig;
  rig.board->ArmFault(GetParam().request, GetParam().fault);
  rig.board->DelayCancellation(GetParam().cancelDelayMicros);
  auto& board = *rig.device;
  EXPECT_FALSE(board.Initialise());
  // The read given up ends now, into memory of its own and not into the open's returned frames.
  Sleep(static_cast<DWORD>(GetParam().cancelDelayMicros / 1000));
  EXPECT_TRUE(board.IsFailed());
  EXPECT_FALSE(board.ReaderRunning());
  EXPECT_FALSE(board.IsSampling());
  EXPECT_EQ(LastMessage(board), std::string(kDisconnectText) + GetParam().code);
  EXPECT_EQ(board.GetLastErrorMsg(nullptr), 1) << "delivered once";
  EXPECT_FALSE(board.Initialise()) << "a failed board stays failed";
}

INSTANTIATE_TEST_SUITE_P(
    Faults, BoardOpenFails,
    ::testing::Values(FailingOpen{0x15, sim::ReplyFault::OtherId(0x21), "(Error $5000)"},
                      FailingOpen{0x15, sim::ReplyFault::NoReply(), "(Error $102)"},
                      FailingOpen{0x15, sim::ReplyFault::NoReply(), "(Error $102)", 5'000'000},
                      FailingOpen{0x16, sim::ReplyFault::AckError(3), "(Error $5103)"},
                      FailingOpen{0x17, sim::ReplyFault::NoReply(), "(Error $102)"},
                      FailingOpen{0x17, sim::ReplyFault::Late(700'000), "(Error $102)"},
                      FailingOpen{0x15, sim::ReplyFault::RejectWrite(ERROR_DEVICE_NOT_CONNECTED), "(Error $48F)"}));

}  // namespace
