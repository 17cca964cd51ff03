// Reports to frames with timestamps the test chooses: the conversion through the board's own
// calibration, the channel order, pacing, zeroing, a full ring and the block reads.
#include "testing/board_rig.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

namespace {

using testing_support::BoardRig;
using testing_support::VirtualClock;

constexpr int64_t kMicrosPerSecond = 1'000'000;
constexpr int64_t kMs = 1000;

// Every sensor reads 1000 at 0 kg, 1850 at 17 kg and 2700 at 34 kg: 50 units a kilogram.
sim::BoardSettings EvenBoard() {
  sim::BoardSettings settings;
  for (size_t s = 0; s < sim::kSensorCount; ++s) {
    settings.calibration.readings[0][s] = static_cast<uint16_t>(1000);
    settings.calibration.readings[1][s] = static_cast<uint16_t>(1850);
    settings.calibration.readings[2][s] = static_cast<uint16_t>(2700);
  }
  return settings;
}

using Readings = std::array<uint16_t, 4>;  // by sensor

std::vector<uint8_t> SensorReport(const Readings& raw, bool button = false) {
  std::vector<uint8_t> report(22, 0);
  report[0] = 0x32;
  report[2] = button ? 0x08 : 0x00;
  for (size_t s = 0; s < 4; ++s) {
    report[3 + 2 * s] = static_cast<uint8_t>(raw[s] >> 8);
    report[4 + 2 * s] = static_cast<uint8_t>(raw[s] & 0xFF);
  }
  return report;
}

using Frame = std::array<int16_t, 4>;

class SampleStream : public ::testing::Test {
 protected:
  explicit SampleStream(const sim::BoardSettings& settings = EvenBoard()) : rig(settings), board(*rig.device) {}

  void SetUp() override {
    ASSERT_TRUE(board.OpenWithoutReader());
    Command(">in/sampler/start\n");
    ASSERT_EQ(Replies(), "<OK\n");
    now = board.SamplingStart();
  }

  void Command(const std::string& line) { board.WriteBuffer(line.data(), static_cast<int>(line.size()), 0); }
  std::string Replies() {
    std::string text;
    char line[256];
    while (board.ReadLine(line, sizeof line, 0)) text += std::string(line) + "\n";
    return text;
  }

  // Counter ticks in micros, truncated: the counter's odd frequency leaves the pacing to round.
  int64_t Ticks(int64_t micros) const { return micros * board.TicksPerSecond() / kMicrosPerSecond; }
  // Moves the counter on by micros as a real one runs: whole ticks, the fractions carried.
  void Advance(int64_t micros) {
    int64_t scaled = micros * board.TicksPerSecond() + tickFraction;
    now += scaled / kMicrosPerSecond;
    tickFraction = scaled % kMicrosPerSecond;
  }

  // One report, afterMicros after the previous one; returns the frames it added.
  int Report(const Readings& raw, int64_t afterMicros = 10'000) {
    Advance(afterMicros);
    int before = board.ReadBuffSize();
    auto report = SensorReport(raw);
    board.OnInputReport(report.data(), 22, now);
    return (board.ReadBuffSize() - before) / 4;
  }

  std::vector<Frame> TakeFrames() {
    std::vector<Frame> frames;
    for (;;) {
      char block[1 + 8 * 64];
      int size = sizeof block;
      if (!board.ReadBuffer(block, &size, 0) || size <= 1) return frames;
      EXPECT_EQ(block[0], '@');
      for (int at = 1; at + 8 <= size; at += 8) {
        Frame f;
        for (int c = 0; c < 4; ++c)
          f[static_cast<size_t>(c)] = static_cast<int16_t>(static_cast<uint8_t>(block[at + 2 * c]) << 8 |
                                                           static_cast<uint8_t>(block[at + 2 * c + 1]));
        frames.push_back(f);
      }
    }
  }

  VirtualClock clock;
  BoardRig rig;
  testing_support::ExchangeBoard& board;
  int64_t now = 0;
  int64_t tickFraction = 0;
};

TEST_F(SampleStream, ConvertsThroughTheCalibrationInChannelOrder) {
  // Sensors 0..3 at 17 kg, 0 kg, 0 raw, 34 kg: channels are sensors 2, 3, 0, 1.
  auto report = SensorReport({1850, 1000, 0, 2700});
  now += Ticks(10 * kMs);
  ASSERT_TRUE(board.OnInputReport(report.data(), 22, now));
  EXPECT_EQ(TakeFrames(), (std::vector<Frame>{{-8532, 14507, 7253, 0}}));
  EXPECT_FALSE(board.AbortPending());
}

TEST_F(SampleStream, ReportsEveryFiveMillisecondsMakeAFrameEverySecondReport) {
  std::vector<int> added;
  for (int i = 0; i < 8; ++i) added.push_back(Report({1000, 1000, 1000, 1000}, 5 * kMs));
  EXPECT_EQ(added, (std::vector<int>{1, 0, 1, 0, 1, 0, 1, 0})) << "5 ms rounds up to a frame, then 0 ms left";
}

TEST_F(SampleStream, ReportsEveryTwentyFiveMillisecondsMakeThreeThenTwo) {
  std::vector<int> added;
  for (int i = 0; i < 6; ++i) added.push_back(Report({1000, 1000, 1000, 1000}, 25 * kMs));
  EXPECT_EQ(added, (std::vector<int>{3, 2, 3, 2, 3, 2}));
  EXPECT_EQ(board.Remainder(), 0);
  EXPECT_EQ(TakeFrames().size(), 15u);
}

TEST_F(SampleStream, TheFirstFrameIsMeasuredFromTheStartAndARestartStartsAgain) {
  EXPECT_EQ(Report({1000, 1000, 1000, 1000}, 4 * kMs), 0);
  EXPECT_EQ(Report({1000, 1000, 1000, 1000}, 4 * kMs), 1);
  Command(">in/sampler/stop\n");
  EXPECT_FALSE(board.IsSampling());
  auto report = SensorReport({1000, 1000, 1000, 1000});
  EXPECT_FALSE(board.OnInputReport(report.data(), 22, now + Ticks(50 * kMs))) << "not sampling";
  EXPECT_EQ(board.ReadBuffSize(), 4) << "stopping keeps what the ring holds";

  posix::AdvanceClock(123'456);
  Command(">in/sampler/start\n");
  EXPECT_EQ(board.ReadBuffSize(), 0) << "starting empties the ring";
  now = board.SamplingStart();
  EXPECT_EQ(Report({1000, 1000, 1000, 1000}, 14'900), 1);
  EXPECT_EQ(board.Remainder(), 4900);
}

TEST_F(SampleStream, ReportsOtherThanSensorReportsAreIgnored) {
  auto status = SensorReport({1850, 1850, 1850, 1850});
  status[0] = 0x20;
  EXPECT_FALSE(board.OnInputReport(status.data(), 22, now + Ticks(50 * kMs)));
  EXPECT_EQ(board.ReadBuffSize(), 0);
  EXPECT_EQ(Report({1000, 1000, 1000, 1000}), 1) << "the ignored report did not move the clock";
}

TEST_F(SampleStream, ZeroingAveragesTheFirstHundredReportsOfTheRun) {
  Command(">dev/bb_zeroAllChans 2\n");
  ASSERT_EQ(Replies(), "<OK\n");
  // Sensor 2 (channel 1) alternates 17 kg and 0 kg: an average of 3626.5, truncated to 3626.
  for (int i = 0; i < 99; ++i) Report({1000, 1000, static_cast<uint16_t>(i % 2 ? 1000 : 1850), 2700});
  EXPECT_TRUE(board.ZeroCollecting());
  auto frames = TakeFrames();
  ASSERT_EQ(frames.size(), 99u);
  EXPECT_EQ(frames[0], (Frame{7253, 14507, 0, 0})) << "not yet zeroed";
  EXPECT_EQ(frames[98], (Frame{7253, 14507, 0, 0}));

  Report({1000, 1000, 1000, 2700});  // the hundredth: already zeroed
  EXPECT_FALSE(board.ZeroCollecting());
  Report({1000, 1000, 1850, 2700});
  EXPECT_EQ(TakeFrames(), (std::vector<Frame>{{-3626, 0, 0, 0}, {3627, 0, 0, 0}}));

  Command(">dev/bb_zeroAllChans 1\n");
  Report({1000, 1000, 1850, 2700});
  EXPECT_EQ(TakeFrames(), (std::vector<Frame>{{7253, 14507, 0, 0}})) << "off: offsets no longer applied";

  Command(">in/sampler/stop\n>in/sampler/start\n");
  now = board.SamplingStart();
  Command(">dev/bb_zeroAllChans 2\n");
  Report({1000, 1000, 1850, 2700});
  EXPECT_TRUE(board.ZeroCollecting()) << "a new collection from the next report";
}

TEST_F(SampleStream, AZeroCollectionCutShortGoesOnInTheNextRun) {
  Command(">dev/bb_zeroAllChans 2\n");
  for (int i = 0; i < 60; ++i) Report({1000, 1000, 1850, 1000});
  Command(">in/sampler/stop\n>in/sampler/start\n");
  now = board.SamplingStart();
  for (int i = 0; i < 39; ++i) Report({1000, 1000, 1850, 1000});
  EXPECT_TRUE(board.ZeroCollecting());
  Report({1000, 1000, 1850, 1000});
  EXPECT_FALSE(board.ZeroCollecting());
  Report({1000, 1000, 1850, 1000});
  auto frames = TakeFrames();
  EXPECT_EQ(frames.back(), (Frame{0, 0, 0, 0}));
}

TEST_F(SampleStream, AnAllZeroReportStillMakesFramesAndAsksForTheBatteryAbort) {
  EXPECT_EQ(Report({0, 0, 0, 0}, 20 * kMs), 2);
  EXPECT_TRUE(board.BatteryLow());
  EXPECT_TRUE(board.AbortPending());
  EXPECT_EQ(board.PendingAbortCode(), 3);
  EXPECT_EQ(Report({1000, 1000, 1000, 1000}), 1) << "frames go on until the host takes the abort";
  char block[100];
  int size = sizeof block;
  ASSERT_TRUE(board.ReadBuffer(block, &size, 0));
  EXPECT_EQ(std::string(block, static_cast<size_t>(size)), "#abort Weak or missing batteries.");
  EXPECT_FALSE(board.IsSampling());
  Command(">dev/startwarning\n");
  EXPECT_EQ(Replies(), "=1\n");
}

TEST_F(SampleStream, ALongSilenceFillsTheRingWithWholeFramesOnly) {
  EXPECT_EQ(Report({1850, 1850, 1850, 1850}, 200'000 * kMs), 8191) << "200 s of frames; the ring takes 8191";
  EXPECT_EQ(board.ReadBuffSize(), 4 * 8191);
  EXPECT_EQ(Report({1000, 1000, 1000, 1000}, 30 * kMs), 0) << "no room: dropped whole";
  char block[1 + 8 * 3];
  int size = sizeof block;
  ASSERT_TRUE(board.ReadBuffer(block, &size, 0));
  EXPECT_EQ(size, 1 + 8 * 3);
  EXPECT_EQ(Report({1000, 1000, 1000, 1000}, 30 * kMs), 3);
  auto frames = TakeFrames();
  ASSERT_EQ(frames.size(), 8191u);
  EXPECT_EQ(frames[8187], (Frame{7253, 7253, 7253, 7253}));
  EXPECT_EQ(frames[8188], (Frame{0, 0, 0, 0})) << "the channels never shift";
}

TEST_F(SampleStream, BlocksHoldWholeFramesThatFitTheBuffer) {
  for (int i = 0; i < 10; ++i) Report({1850, 1850, 1850, 1850});
  ASSERT_EQ(board.ReadBuffSize(), 40);
  char block[100];
  int size = sizeof block;
  ASSERT_TRUE(board.ReadBuffer(block, &size, 0));
  EXPECT_EQ(size, 81) << "the marker and 10 frames";
  EXPECT_EQ(board.ReadBuffSize(), 0);

  for (int i = 0; i < 25; ++i) Report({1850, 1850, 1850, 1850});
  ASSERT_EQ(board.ReadBuffSize(), 100);
  size = sizeof block;
  ASSERT_TRUE(board.ReadBuffer(block, &size, 0));
  EXPECT_EQ(size, 97) << "the marker and 12 frames";
  EXPECT_EQ(block[0], '@');
  EXPECT_EQ(board.ReadBuffSize(), 52) << "13 frames stay in the ring";
}

class OffsetStream : public SampleStream {
 protected:
  static sim::BoardSettings Settings() {
    sim::BoardSettings settings = EvenBoard();
    settings.calibration.readings[0][3] = 5000;  // sensor 3: 0 kg at 5000, 34 kg at 6700
    settings.calibration.readings[2][3] = 6700;
    return settings;
  }
  OffsetStream() : SampleStream(Settings()) {}
};

TEST_F(OffsetStream, ClampsToSeventyFiveKilogramsEitherWay) {
  // 4750 is 75 kg exactly, 4751 just beyond; raw 1 on sensor 3 is about -100 kg.
  ASSERT_EQ(Report({4750, 4751, 65535, 1}), 1);
  ASSERT_EQ(Report({4750, 4751, 65535, 8750}), 1);
  EXPECT_EQ(TakeFrames(), (std::vector<Frame>{{32000, -32000, 32000, 32000}, {32000, 32000, 32000, 32000}}));
}

class UncalibratedStream : public SampleStream {
 protected:
  static sim::BoardSettings Settings() {
    sim::BoardSettings settings = EvenBoard();
    settings.calibration.readings[2][1] = settings.calibration.readings[0][1];  // sensor 1: no span
    return settings;
  }
  UncalibratedStream() : SampleStream(Settings()) {}
};

TEST_F(UncalibratedStream, ASensorWithoutSpanReadsZero) {
  ASSERT_EQ(Report({1850, 1850, 1850, 1850}), 1);
  EXPECT_EQ(TakeFrames(), (std::vector<Frame>{{7253, 7253, 7253, 0}}));
}

class ExtensionlessStream : public SampleStream {
 protected:
  static sim::BoardSettings Settings() {
    sim::BoardSettings settings = EvenBoard();
    settings.extensionReported = false;
    return settings;
  }
  ExtensionlessStream() : SampleStream(Settings()) {}
};

TEST_F(ExtensionlessStream, SensorReportsFromAnUncalibratedBoardReadZero) {
  ASSERT_EQ(Report({1850, 60000, 1, 2700}), 1);
  EXPECT_EQ(TakeFrames(), (std::vector<Frame>{{0, 0, 0, 0}}));
}

}  // namespace
