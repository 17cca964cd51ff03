// A board that answers from a capture: how it reads the capture and matches requests to it, and
// that a capture of a simulated board's reports, replayed, gives the host exactly the frames the
// board gave. Both runs go through the exports on the virtual clock with
// the host on a thread of the platform's, so time moves only while every thread waits and the two
// runs see the same moments: in real time the frames of a report near a frame's edge may move by
// one, and a kymhost CSV of each is not the same byte for byte.
#include "discovery/device_search.h"
#include "platform/posix/control.h"
#include "plugin/exports.h"
#include "sim/captured_replies.h"
#include "sim/scenario_file.h"
#include "testing/eventually.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

using testing_support::Eventually;

constexpr size_t kFrames = 400;  // four seconds of the run
constexpr size_t kFrameBytes = 8;
constexpr int kBlockRoom = 1 + 64 * static_cast<int>(kFrameBytes);
constexpr int kReadWaitMs = 100;
constexpr uint64_t kSecond = 1'000'000;
constexpr int kHostRealTimeLimitMs = 60'000;
constexpr DWORD kHostEndWaitMs = 5000;

// The host's whole job: find and open the board, record kFrames frames, stop and close.
struct HostRun {
  std::atomic<bool> done{false};
  std::string frames;  // their bytes, in order
  std::string failure;

  static DWORD WINAPI Main(void* self) {
    static_cast<HostRun*>(self)->Record();
    static_cast<HostRun*>(self)->done.store(true);
    return 0;
  }
  void Record() {
    int index = -1;
    char line[32];
    if (FindDevice(&index) != 1 || Initialise(index) != 1) {
      failure = "the board was not found or not opened";
    } else if (WriteBuffer(index, ">in/sampler/start\n", 18, 0) != 1 || ReadLine(index, line, sizeof line, 0) != 1) {
      failure = "sampling did not start";
    } else {
      char block[kBlockRoom];
      for (int reads = 0; frames.size() < kFrames * kFrameBytes && reads < 1000; ++reads) {
        int size = kBlockRoom;
        if (ReadBuffer(index, block, &size, kReadWaitMs) == 1 && size > 1) frames.append(block + 1, static_cast<size_t>(size - 1));
      }
      if (frames.size() < kFrames * kFrameBytes) failure = "the frames stopped coming";
      frames.resize(std::min(frames.size(), kFrames * kFrameBytes));
      WriteBuffer(index, ">in/sampler/stop\n", 17, 0);
    }
    CloseAll();
  }
};

class CapturedBoard : public ::testing::Test {
 protected:
  void SetUp() override {
    posix::UseVirtualClock(true);
    capture_ = ::testing::TempDir() + "captured_board_" + std::to_string(getpid()) + ".txt";
  }
  void TearDown() override {
    unsetenv("PLANKSCALE_CAPTURE");
    sim::World::Instance().Clear();
    posix::UseVirtualClock(false);
    std::remove(capture_.c_str());
  }

  // The host's frames from the world the scenario describes.
  std::string Record(const std::string& scenario) {
    sim::Scenario world;
    std::string error;
    EXPECT_TRUE(sim::ParseScenario(scenario, ::testing::TempDir() + "world.scenario", world, error)) << error;
    CloseAll();
    DeviceSearch::ResetForTesting();
    sim::World::Instance().Build(world);
    // Both runs start at a whole second, so that the counter's ticks between two moments are the same.
    posix::AdvanceClock(kSecond - posix::NowMicros() % kSecond);
    const int threads = posix::LiveThreadCount();
    HostRun host;
    HANDLE thread = CreateThread(nullptr, 0, &HostRun::Main, &host, 0, nullptr);
    EXPECT_TRUE(Eventually([&] { return host.done.load(); }, kHostRealTimeLimitMs)) << "the host never finished";
    WaitForSingleObject(thread, kHostEndWaitMs);
    CloseHandle(thread);
    // The reader writes the rest of the capture as its last step.
    EXPECT_TRUE(Eventually([&] { return posix::LiveThreadCount() == threads; })) << "the reader outlived the close";
    EXPECT_EQ(host.failure, "");
    return host.frames;
  }

  std::string capture_;
};

std::vector<uint8_t> Bytes(std::initializer_list<uint8_t> bytes) { return std::vector<uint8_t>(bytes); }

// Requests are taken in order, each once, by id, mode and address; an answer keeps its delays.
TEST(CapturedReplies, AnswerEachRequestWithWhatFollowedItsLikeInTheCapture) {
  sim::Capture capture;
  std::string error;
  ASSERT_TRUE(sim::ParseCapture("# board 00:1B:7A:11:22:33 serial 001b7a112233\n"
                                "5 in 30 00 00\n"
                                "10 out 12 00 30\n"
                                "20 out 17 04 a4 00 fe 00 02\n"
                                "31 in 21 00 00 10 00 fe 04 02\n"
                                "40 out 17 04 a4 00 24 00 10\n"
                                "52 in 21 00 00 f0 00 24\n"
                                "60 out 12 04 32\n"
                                "61 in 32 00 00 01\n"
                                "70 in 32 00 00 02\n",
                                "c.txt", capture, error))
      << error;
  EXPECT_EQ(capture.address, 0x001b7a112233u);
  sim::CapturedReplies board(std::make_shared<sim::Capture>(capture));
  std::vector<sim::CapturedReplies::Reply> replies;
  auto answer = [&](std::vector<uint8_t> request) {
    request.resize(22);
    std::vector<std::pair<uint64_t, uint8_t>> got;  // delay and report id
    if (!board.Answer(request.data(), request.size(), replies)) return got;
    for (const auto& r : replies) got.emplace_back(r.delayMicros, (*r.report)[0]);
    got.emplace_back(0, 0);  // answered
    return got;
  };
  using Got = std::vector<std::pair<uint64_t, uint8_t>>;
  // The button mode with its rumble bit on: the first request, with the report before it.
  EXPECT_EQ(answer(Bytes({0x12, 0x01, 0x30})), (Got{{0, 0x30}, {0, 0}}));
  // The calibration read passes over the extension's, which then has no answer left.
  EXPECT_EQ(answer(Bytes({0x17, 0x04, 0xa4, 0x00, 0x24, 0x00, 0x10})), (Got{{12, 0x21}, {0, 0}}));
  EXPECT_EQ(answer(Bytes({0x17, 0x04, 0xa4, 0x00, 0xfe, 0x00, 0x02})), Got{});
  EXPECT_EQ(answer(Bytes({0x12, 0x04, 0x31})), Got{}) << "another mode";
  EXPECT_EQ(answer(Bytes({0x12, 0x04, 0x32})), (Got{{1, 0x32}, {10, 0x32}, {0, 0}}));
  EXPECT_EQ(answer(Bytes({0x12, 0x04, 0x32})), Got{}) << "each request answers once";

  const struct {
    const char* text;
    const char* error;
  } bad[] = {
      {"# only a header\n", "c.txt: holds no reports"},
      {"10 out 12 00 30\n12x in 30\n", "c.txt:2: '12x' is not a time in microseconds"},
      {"10 sideways 12\n", "c.txt:1: 'sideways' is not 'in' or 'out'"},
      {"10 in 3g 00\n", "c.txt:1: '3g' is not a byte in hex"},
      {"10 in\n", "c.txt:1: a report without bytes"},
  };
  for (const auto& b : bad) {
    EXPECT_FALSE(sim::ParseCapture(b.text, "c.txt", capture, error)) << b.text;
    EXPECT_EQ(error.rfind(b.error, 0), 0u) << error;
  }
}

TEST_F(CapturedBoard, ACapturedRunReplayedGivesTheSameFrames) {
  setenv("PLANKSCALE_CAPTURE", capture_.c_str(), 1);
  const std::string recorded = Record(
      "radio\n"
      "board paired yes\n"
      "  report-interval 16.667 ms uneven\n"
      "  noise 3\n"
      "  load sway 70 kg split 45/55 amplitude 15 mm period 2 s\n");
  unsetenv("PLANKSCALE_CAPTURE");
  ASSERT_EQ(recorded.size(), kFrames * kFrameBytes);

  const std::string replayed = Record("radio\nboard paired yes replay-capture \"" + capture_ + "\"\n");
  ASSERT_EQ(replayed.size(), recorded.size());
  size_t first = recorded.size();
  for (size_t i = 0; i < recorded.size() && first == recorded.size(); ++i)
    if (recorded[i] != replayed[i]) first = i;
  EXPECT_EQ(first, recorded.size()) << "frames differ from frame " << first / kFrameBytes;
}

}  // namespace
