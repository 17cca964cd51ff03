// The sample ring under load: a producer appends numbered frames as fast as it can while the
// host reads blocks, flushes and restarts runs. Every frame must arrive whole, in order, once.
// PLANKSCALE_STRESS_SECONDS sets the duration (2 s by default).
#include "testing/fake_device.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

using Kestrel::SampleWord;
using testing_support::FakeDevice;

constexpr int kFrameBytes = 8;
constexpr int kWakeEveryFrames = 64;
constexpr unsigned kRingFrames = 8191;  // the most whole frames the ring holds

double StressSeconds() {
  const char* text = std::getenv("PLANKSCALE_STRESS_SECONDS");
  double seconds = text ? std::atof(text) : 0;
  return seconds > 0 ? seconds : 2.0;
}

class Checker {
 public:
  // Checks one block; false with a reason in failure when it is wrong.
  bool Block(const char* block, int size) {
    if (size < 1 || (size - 1) % kFrameBytes != 0) return Fail("block of " + std::to_string(size) + " bytes");
    if (size > 1 && block[0] != '@') return Fail("no mark byte");
    for (int at = 1; at < size; at += kFrameBytes) {
      unsigned number = Value(block + at);
      for (int i = 1; i < 4; ++i)
        if (Value(block + at + 2 * i) != number) return Fail("torn frame " + std::to_string(number));
      if (any_) {
        unsigned step = (number - last_) & 0xFFFF;
        bool ok = gapAllowed_ ? step >= 1 && step <= kRingFrames + 1 : step == 1;
        if (!ok) return Fail("frame " + std::to_string(number) + " after " + std::to_string(last_));
      }
      any_ = true;
      gapAllowed_ = false;
      last_ = number;
      ++frames;
    }
    return true;
  }
  void Discarded() { gapAllowed_ = true; }
  // A second flush before a frame arrived could discard more than the modular check can span.
  bool MayDiscard() const { return !gapAllowed_; }

  long long frames = 0;
  std::string failure;

 private:
  static unsigned Value(const char* p) { return static_cast<uint8_t>(p[0]) << 8 | static_cast<uint8_t>(p[1]); }
  bool Fail(const std::string& why) {
    failure = why;
    return false;
  }
  bool any_ = false;
  bool gapAllowed_ = false;
  unsigned last_ = 0;
};

TEST(SampleRingStress, FramesArriveWholeInOrderAndOnce) {
  FakeDevice device(nullptr, L"Board", L"1");
  ASSERT_TRUE(device.InitialiseWithoutReader());
  device.StartSampling();

  std::atomic<bool> stop{false};
  std::thread producer([&] {
    SampleWord number = 0;
    while (!stop.load(std::memory_order_relaxed)) {
      const SampleWord frame[4] = {number, number, number, number};
      if (!device.AppendFrame(frame)) continue;  // full: the same number again
      ++number;
      if (number % kWakeEveryFrames == 0) device.Wake();
    }
  });

  const int rooms[] = {1, 9, 17, 100, 801, 8000, 65537};
  std::string buffer(65537, '\0');
  Checker checker;
  uint32_t random = 12345;
  long long flushes = 0, restarts = 0;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(StressSeconds());
  while (std::chrono::steady_clock::now() < deadline) {
    random = random * 1664525u + 1013904223u;
    unsigned pick = (random >> 8) % 100;
    if (pick < 3 && checker.MayDiscard()) {
      device.FlushReadBuffer();
      checker.Discarded();
      ++flushes;
    } else if (pick < 6 && checker.MayDiscard()) {
      device.StartSampling();
      checker.Discarded();
      ++restarts;
    } else {
      int size = rooms[(random >> 16) % (sizeof rooms / sizeof rooms[0])];
      if (!device.ReadBuffer(&buffer[0], &size, 10)) continue;
      if (!checker.Block(buffer.data(), size)) break;
    }
  }
  stop = true;
  producer.join();

  EXPECT_EQ(checker.failure, "");
  EXPECT_GT(checker.frames, 1000);
  EXPECT_GT(flushes, 0);
  EXPECT_GT(restarts, 0);
  std::printf("stress: %lld frames, %lld flushes, %lld restarts\n", checker.frames, flushes, restarts);
}

}  // namespace
