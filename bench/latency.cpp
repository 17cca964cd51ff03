// The latency measurements both benchmark builds share: natively over the POSIX layer, under
// Wine over kernel32.
#include "latency.h"

#include <algorithm>
#include <atomic>
#include <thread>

namespace bench {

namespace {

// A block of frames: its marker, then four 16-bit channels a frame.
constexpr char kFrameMarker = '@';
constexpr int kFrameBytes = 4 * 2;
constexpr int kBlockFrames = 64;

class AutoResetEvent {
 public:
  AutoResetEvent() : handle_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}
  ~AutoResetEvent() {
    if (handle_) CloseHandle(handle_);
  }
  AutoResetEvent(const AutoResetEvent&) = delete;
  AutoResetEvent& operator=(const AutoResetEvent&) = delete;
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

}  // namespace

int64_t CounterNow() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now.QuadPart;
}

double CounterMicros(int64_t ticks) {
  static const double ticksPerMicro = [] {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(frequency.QuadPart) / 1e6;
  }();
  return static_cast<double>(ticks) / ticksPerMicro;
}

double Percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[static_cast<size_t>(p * static_cast<double>(values.size() - 1) + 0.5)];
}

LatencyFigures Summarise(const std::vector<double>& micros) {
  return {Percentile(micros, 0.5), Percentile(micros, 0.99), Percentile(micros, 1.0)};
}

std::vector<double> MeasureEventFloor(int handOvers) {
  AutoResetEvent toReader, toHost;
  if (!toReader.get() || !toHost.get()) return {};
  std::atomic<bool> stop{false};
  std::atomic<int64_t> sentAt{0};
  std::thread board([&] {
    while (!stop.load()) {
      Sleep(kReportGapMs);
      sentAt.store(CounterNow(), std::memory_order_release);
      SetEvent(toReader.get());
    }
  });
  std::thread reader([&] {
    while (!stop.load()) {
      if (WaitForSingleObject(toReader.get(), kHostWaitMs) == WAIT_OBJECT_0) SetEvent(toHost.get());
    }
  });
  std::vector<double> micros;
  micros.reserve(static_cast<size_t>(handOvers));
  while (static_cast<int>(micros.size()) < handOvers) {
    if (WaitForSingleObject(toHost.get(), kHostWaitMs) != WAIT_OBJECT_0) {
      micros.clear();
      break;
    }
    int64_t returned = CounterNow();
    micros.push_back(CounterMicros(returned - sentAt.load(std::memory_order_acquire)));
  }
  stop.store(true);
  board.join();
  reader.join();
  return micros;
}

std::vector<double> MeasureReportToHost(int frames, const HostRead& read, const std::function<int64_t()>& latestReport,
                                        std::string& failure, const FrameObserver& observe) {
  std::vector<double> micros;
  micros.reserve(static_cast<size_t>(frames));
  char block[1 + kBlockFrames * kFrameBytes];
  while (static_cast<int>(micros.size()) < frames) {
    int size = sizeof block;
    if (!read(block, &size)) {
      failure = "no frame within the host's wait";
      return {};
    }
    int64_t returned = CounterNow();
    if (size < 1 + kFrameBytes || block[0] != kFrameMarker) continue;
    int64_t sent = latestReport();
    micros.push_back(CounterMicros(returned - sent));
    if (observe) observe(sent, returned);
  }
  return micros;
}

}  // namespace bench
