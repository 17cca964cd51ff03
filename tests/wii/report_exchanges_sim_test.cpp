// The report exchanges against the simulated board: what they send, which reply they take and
// the result each gives, with the board misbehaving in the ways real boards do.
#include "testing/board_rig.h"
#include "wii/wii_reports.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

using sim::ReplyFault;
using testing_support::BoardRig;
using testing_support::VirtualClock;
using Bytes = std::vector<uint8_t>;

constexpr uint32_t kNoReply = 258;
constexpr uint32_t kUnexpected = 0x5000;

Bytes Report(std::initializer_list<uint8_t> start) {
  Bytes report(start);
  report.resize(Kestrel::kWiiReportLength, 0);
  return report;
}

class ReportExchanges : public ::testing::Test {
 protected:
  // Puts the extension registers in reach, as the open sequence does.
  void InitialiseExtension() {
    ASSERT_EQ(rig.device->WriteRegister(Kestrel::kRegisterExtensionInitFirst, 0x55), 0u);
    ASSERT_EQ(rig.device->WriteRegister(Kestrel::kRegisterExtensionInitSecond, 0x00), 0u);
  }
  // The next report in the stream, or its read status as the id when none came.
  uint8_t NextReportId() {
    uint8_t report[Kestrel::kWiiReportLength];
    int length = Kestrel::kWiiReportLength;
    uint32_t status = rig.device->ReadInputReport(report, &length);
    return status == 0 ? report[0] : 0;
  }

  VirtualClock clock;
  BoardRig rig;
};

TEST_F(ReportExchanges, WriteRegisterPacksTheAddressAndTakesTheAcknowledgement) {
  EXPECT_EQ(rig.device->WriteRegister(0x04A400F0, 0x55), 0u);
  EXPECT_EQ(rig.LastOutput(), Report({0x16, 0x04, 0xA4, 0x00, 0xF0, 0x01, 0x55}));
}

TEST_F(ReportExchanges, DataReportsBeforeTheAcknowledgementAreSkipped) {
  rig.board->ArmFault(0x16, ReplyFault::DataReportsFirst(3));
  EXPECT_EQ(rig.device->WriteRegister(0x04A400F0, 0x55), 0u);
  EXPECT_EQ(rig.board->DataReportsSent(), 3);

  ReplyFault fault = ReplyFault::AckError(3);
  fault.dataReportsFirst = 2;
  rig.board->ArmFault(0x16, fault);
  EXPECT_EQ(rig.device->WriteRegister(0x04A400FB, 0x00), 0x5103u) << "the acknowledgement's code decides";
}

TEST_F(ReportExchanges, AcknowledgementFaults) {
  rig.board->ArmFault(0x16, ReplyFault::Short(4));
  EXPECT_EQ(rig.device->WriteRegister(0x04A400F0, 0x55), kUnexpected) << "four bytes are too few";
  rig.board->ArmFault(0x16, ReplyFault::AckError(3));
  EXPECT_EQ(rig.device->WriteRegister(0x04A400F0, 0x55), 0x5103u);
  rig.board->ArmFault(0x16, ReplyFault::OtherId(0x21));
  EXPECT_EQ(rig.device->WriteRegister(0x04A400F0, 0x55), kUnexpected);
  rig.board->ArmFault(0x16, ReplyFault::Short(5));
  EXPECT_EQ(rig.device->WriteRegister(0x04A400F0, 0x55), 0u) << "five bytes are enough";
}

TEST_F(ReportExchanges, MissingReplyEndsAfterTheReadWait) {
  rig.board->ArmFault(0x16, ReplyFault::NoReply());
  DWORD start = GetTickCount();
  EXPECT_EQ(rig.device->WriteRegister(0x04A400F0, 0x55), kNoReply);
  DWORD elapsed = GetTickCount() - start;
  EXPECT_GE(elapsed, 500u);
  EXPECT_LT(elapsed, 520u);
  EXPECT_FALSE(rig.device->IsFailed()) << "a time-out is not a failure";
}

TEST_F(ReportExchanges, WaitForAckGivesUpWhileDataReportsKeepComing) {
  ASSERT_EQ(rig.device->SetReportingMode(0x32, true), 0u);
  rig.board->ArmFault(0x16, ReplyFault::Lost());
  DWORD start = GetTickCount();
  EXPECT_EQ(rig.device->WriteRegister(0x04A400F0, 0x55), kNoReply);
  DWORD elapsed = GetTickCount() - start;
  EXPECT_GE(elapsed, Kestrel::kAwaitReportLimitMs);
  EXPECT_LT(elapsed, Kestrel::kAwaitReportLimitMs + 100);
}

TEST_F(ReportExchanges, WriteFailureIsReturnedWithoutReading) {
  rig.board->ArmFault(0x15, ReplyFault::RejectWrite(ERROR_GEN_FAILURE));
  int battery = -1;
  uint8_t flags = 0xEE;
  DWORD start = GetTickCount();
  EXPECT_EQ(rig.device->RequestStatus(&battery, &flags), static_cast<uint32_t>(ERROR_GEN_FAILURE));
  EXPECT_EQ(GetTickCount() - start, 0u) << "no reply was awaited";
  EXPECT_EQ(battery, -1);
  EXPECT_EQ(flags, 0xEE);

  rig.board->PowerOff();
  EXPECT_EQ(rig.device->WriteRegister(0x04A400F0, 0x55), static_cast<uint32_t>(ERROR_DEVICE_NOT_CONNECTED));
  EXPECT_EQ(rig.board->OutputReports().size(), 1u) << "a board that is off receives nothing";
}

TEST_F(ReportExchanges, ReadThatFailsWhileWaitingGivesItsStatus) {
  rig.board->ArmFault(0x16, ReplyFault::NoReply());
  std::weak_ptr<sim::BalanceBoard> board = rig.board;
  posix::ScheduleAt(posix::NowMicros() + 100'000, [board] {
    if (auto b = board.lock()) b->PowerOff();
  });
  EXPECT_EQ(rig.device->WriteRegister(0x04A400F0, 0x55), static_cast<uint32_t>(sim::kStatusDeviceNotConnected));
}

TEST_F(ReportExchanges, NothingIsSentWithoutTheHidLibrary) {
  HidDllTable::Instance().ResetForTesting();
  EXPECT_EQ(rig.device->WriteRegister(0x04A400F0, 0x55), static_cast<uint32_t>(ERROR_MOD_NOT_FOUND));
  EXPECT_EQ(rig.device->SetReportingMode(0x32, true), static_cast<uint32_t>(ERROR_MOD_NOT_FOUND));
  EXPECT_TRUE(rig.board->OutputReports().empty());
}

TEST_F(ReportExchanges, ReadMemoryCopiesAFullReply) {
  InitialiseExtension();
  uint8_t block[16];
  std::memset(block, 0, sizeof block);
  EXPECT_EQ(rig.device->ReadMemory(Kestrel::kRegisterCalibration, 16, block), 0u);
  EXPECT_EQ(rig.LastOutput(), Report({0x17, 0x04, 0xA4, 0x00, 0x24, 0x00, 0x10}));
  sim::Calibration c = sim::DefaultCalibration();
  for (int s = 0; s < 4; ++s) {
    EXPECT_EQ(block[2 * s] << 8 | block[2 * s + 1], c.readings[0][static_cast<size_t>(s)]) << "0 kg, sensor " << s;
    EXPECT_EQ(block[8 + 2 * s] << 8 | block[9 + 2 * s], c.readings[1][static_cast<size_t>(s)]) << "17 kg, sensor " << s;
  }
}

TEST_F(ReportExchanges, ReadMemoryTakesOnlyTheReplyForItsAddress) {
  InitialiseExtension();
  uint8_t block[16];
  const Bytes untouched(16, 0xEE);
  auto check = [&](const ReplyFault& fault, uint32_t result, bool copied, const char* what) {
    std::memset(block, 0xEE, sizeof block);
    rig.board->ArmFault(0x17, fault);
    EXPECT_EQ(rig.device->ReadMemory(Kestrel::kRegisterCalibration, 16, block), result) << what;
    EXPECT_EQ(Bytes(block, block + 16) != untouched, copied) << what;
  };
  check(ReplyFault::Short(21), 0u, false, "one byte short: garbled, for the caller to ask again");
  check(ReplyFault::OtherId(0x20), kNoReply, false, "a status report is no memory reply");
  check(ReplyFault::DataReportsFirst(1, 0x30), 0u, true, "a button report first is skipped");
  check(ReplyFault::NoReply(), kNoReply, false, "nothing at all");

  // A reply that came after its read gave up must not answer the next read.
  rig.board->ArmFault(0x17, ReplyFault::Late(700'000));
  uint8_t type[2] = {0, 0};
  EXPECT_EQ(rig.device->ReadMemory(Kestrel::kRegisterExtensionType, 2, type), kNoReply);
  Sleep(300);
  std::memset(block, 0xEE, sizeof block);
  EXPECT_EQ(rig.device->ReadMemory(Kestrel::kRegisterCalibration, 16, block), 0u);
  sim::Calibration c = sim::DefaultCalibration();
  EXPECT_EQ(block[0] << 8 | block[1], c.readings[0][0]) << "the late reply to the type read was taken";
}

TEST_F(ReportExchanges, ReadMemoryRefusesLengthsOneReplyCannotCarry) {
  uint8_t block[32] = {0};
  EXPECT_EQ(rig.device->ReadMemory(Kestrel::kRegisterCalibration, 17, block), static_cast<uint32_t>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(rig.device->ReadMemory(Kestrel::kRegisterCalibration, 0, block), static_cast<uint32_t>(ERROR_INVALID_PARAMETER));
  EXPECT_TRUE(rig.board->OutputReports().empty());
}

TEST_F(ReportExchanges, RequestStatusHalvesTheBatteryLevel) {
  int battery = -1;
  uint8_t flags = 0;
  rig.board->SetBatteryLevel(0xC9);
  EXPECT_EQ(rig.device->RequestStatus(&battery, &flags), 0u);
  EXPECT_EQ(battery, 100);
  EXPECT_EQ(flags & Kestrel::kStatusExtension, Kestrel::kStatusExtension);
  EXPECT_EQ(flags & Kestrel::kStatusBatteryLow, 0);
  EXPECT_EQ(rig.LastOutput(), Report({0x15}));

  rig.board->SetBatteryLevel(0xFF);
  EXPECT_EQ(rig.device->RequestStatus(&battery, &flags), 0u);
  EXPECT_EQ(battery, 127);

  rig.board->SetBatteriesFailing(true);
  EXPECT_EQ(rig.device->RequestStatus(&battery, &flags), 0u);
  EXPECT_EQ(flags & Kestrel::kStatusBatteryLow, Kestrel::kStatusBatteryLow);
}

TEST_F(ReportExchanges, RequestStatusRejectsOtherReplies) {
  int battery = -1;
  uint8_t flags = 0;
  rig.board->ArmFault(0x15, ReplyFault::OtherId(0x21));
  EXPECT_EQ(rig.device->RequestStatus(&battery, &flags), kUnexpected);
  rig.board->ArmFault(0x15, ReplyFault::Short(6));
  EXPECT_EQ(rig.device->RequestStatus(&battery, &flags), kUnexpected);
  EXPECT_EQ(battery, -1);
  rig.board->ArmFault(0x15, ReplyFault::DataReportsFirst(1, 0x30));
  EXPECT_EQ(rig.device->RequestStatus(&battery, &flags), 0u) << "a button report before the status is skipped";
  rig.board->ArmFault(0x12, ReplyFault::DataReportsFirst(1, 0x30));
  ASSERT_EQ(rig.device->SetReportingMode(0x30, false), 0u) << "done at the extra report, before its acknowledgement";
  EXPECT_EQ(rig.device->RequestStatus(&battery, &flags), 0u) << "the mode's acknowledgement is not the status";
  rig.board->ArmFault(0x15, ReplyFault::Short(7));
  EXPECT_EQ(rig.device->RequestStatus(&battery, &flags), 0u);
}

TEST_F(ReportExchanges, SetReportingModeReturnsOnceAReportInTheModeArrives) {
  rig.board->ArmFault(0x12, ReplyFault::NoReply());  // neither acknowledgement nor first report
  DWORD start = GetTickCount();
  EXPECT_EQ(rig.device->SetReportingMode(0x32, true), 0u);
  EXPECT_EQ(rig.LastOutput(), Report({0x12, 0x04, 0x32}));
  EXPECT_GE(GetTickCount() - start, 10u) << "only the board's first streamed report ends the wait";
  EXPECT_TRUE(rig.board->ContinuousReporting());
  EXPECT_EQ(rig.board->ReportingMode(), 0x32);

  rig.board->ArmFault(0x12, ReplyFault::DataReportsFirst(3, 0x32));
  EXPECT_EQ(rig.device->SetReportingMode(0x30, false), 0u);
  EXPECT_EQ(rig.LastOutput(), Report({0x12, 0x00, 0x30}));
}

TEST_F(ReportExchanges, SetReportingModeIsBounded) {
  rig.board->ArmFault(0x12, ReplyFault::Lost());
  EXPECT_EQ(rig.device->SetReportingMode(0x32, false), kNoReply) << "nothing at all arrives";

  ASSERT_EQ(rig.device->SetReportingMode(0x30, true), 0u);
  rig.board->ArmFault(0x12, ReplyFault::Lost());
  DWORD start = GetTickCount();
  EXPECT_EQ(rig.device->SetReportingMode(0x32, true), kNoReply) << "reports of the old mode keep coming";
  EXPECT_GE(GetTickCount() - start, Kestrel::kAwaitReportLimitMs);
  EXPECT_LT(GetTickCount() - start, Kestrel::kAwaitReportLimitMs + 100);
}

TEST_F(ReportExchanges, SetLedTakesNothingFromTheStreamAndRemembersTheState) {
  rig.board->ArmFault(0x11, ReplyFault::DataReportsFirst(1));
  rig.device->SetLed(false);
  EXPECT_FALSE(rig.device->LedOn());
  EXPECT_EQ(rig.LastOutput(), Report({0x11, 0x00}));
  EXPECT_EQ(NextReportId(), 0x32) << "left for the reader; no acknowledgement was asked for";

  rig.device->SetLed(true);
  EXPECT_TRUE(rig.device->LedOn());
  EXPECT_EQ(rig.LastOutput(), Report({0x11, 0x10}));
  EXPECT_EQ(rig.board->Leds(), 0x1);
}

TEST_F(ReportExchanges, DestroyingTheBoardSwitchesTheLedOff) {
  EXPECT_TRUE(rig.device->IsBoard());
  EXPECT_EQ(rig.device->InputReportLength(), 22);
  EXPECT_EQ(rig.device->ChannelCount(), 4);
  ASSERT_TRUE(rig.device->Initialise());
  ASSERT_EQ(rig.board->Leds(), 0x1);
  rig.device.reset();
  EXPECT_EQ(rig.LastOutput(), Report({0x11, 0x00}));
  EXPECT_EQ(rig.board->Leds(), 0);
  EXPECT_EQ(rig.board->OpenFileCount(), 0) << "the handle was closed";
}

}  // namespace
