// Board-to-host latency on the performance counter, as the native benchmark and the Windows
// program under Wine both measure it, and the bare floor it is held against: the same
// hand-overs through events alone, at the same pace.
#pragma once

#include "platform/win32.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace bench {

// The board sends a report this often, and the floor hands over at the same pace.
constexpr DWORD kReportGapMs = 10;
// The host's wait for a frame, as a recording waits; a hand-over missing this long is a failure.
constexpr int kHostWaitMs = 1000;

int64_t CounterNow();
double CounterMicros(int64_t ticks);

struct LatencyFigures {
  double median = 0;
  double p99 = 0;
  double max = 0;
};
LatencyFigures Summarise(const std::vector<double>& micros);
// A percentile of samples, by the nearest rank.
double Percentile(std::vector<double> values, double p);

// Two hand-overs between threads through auto-reset events, as a report travels from the board
// to the reader thread and from there to the host's waiting read, one every kReportGapMs: the
// microseconds from the board thread's signal to the return of the host's wait. Empty when a
// hand-over went missing.
std::vector<double> MeasureEventFloor(int handOvers);

// Reads as the host does, up to kHostWaitMs each time; true when something came.
using HostRead = std::function<bool(char* block, int* size)>;
// Called for each frame with the counter at which its report was sent and at which the read returned.
using FrameObserver = std::function<void(int64_t sent, int64_t returned)>;

// For each frame the host's waiting read returns, the microseconds since latestReport() (the
// counter at which the board sent its latest report). Empty, with the reason, when no frame
// came within the wait.
std::vector<double> MeasureReportToHost(int frames, const HostRead& read, const std::function<int64_t()>& latestReport,
                                        std::string& failure, const FrameObserver& observe = nullptr);

}  // namespace bench
