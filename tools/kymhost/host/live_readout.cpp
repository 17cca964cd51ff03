#include "host/live_readout.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

namespace kymhost {

namespace {

constexpr auto kInteractiveReadout = std::chrono::milliseconds(250);
constexpr auto kLoggedReadout = std::chrono::seconds(1);
constexpr double kReadoutResolution = 0.05;  // the readout's last digit
constexpr size_t kReadoutRoom = 160;

// Keeps "-0.0" off the readout.
double Shown(double value) { return std::fabs(value) < kReadoutResolution ? 0.0 : value; }

}  // namespace

bool Interactive() { return isatty(fileno(stderr)) != 0; }

LiveReadout::LiveReadout()
    : interactive_(Interactive()),
      period_(interactive_ ? std::chrono::duration_cast<Clock::duration>(kInteractiveReadout)
                           : std::chrono::duration_cast<Clock::duration>(kLoggedReadout)),
      last_(Clock::now()) {}

bool LiveReadout::Start(const RunStart& start) {
  periodSeconds_ = start.periodSeconds;
  return true;
}

void LiveReadout::Frame(const FrameRow& row) {
  if (row.number == 0) last_ = Clock::now();  // a countdown may have come between
  latest_ = row;
  frames_ = row.number + 1;
}

void LiveReadout::Update(Clock::time_point now) {
  if (now - last_ < period_ || frames_ == shownFrames_) return;
  Print();
  last_ = now;
}

void LiveReadout::Note(const std::string& text) {
  if (interactive_) {
    int length = static_cast<int>(text.size());
    std::fprintf(stderr, "\r%s%*s\n", text.c_str(), std::max(0, lastLength_ - length), "");
    std::fflush(stderr);
    lastLength_ = 0;
    lineOpen_ = false;
  } else {
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
  }
}

bool LiveReadout::Finish() {
  if (frames_ != shownFrames_) Print();
  if (lineOpen_) std::fputs("\n", stderr);
  lineOpen_ = false;
  lastLength_ = 0;
  return true;
}

void LiveReadout::Print() {
  const FrameKg& f = latest_.board[0].kg;
  double seconds = static_cast<double>(frames_) * periodSeconds_;
  // Fits an 80-column terminal (79 characters), so that rewriting it in place works.
  char line[kReadoutRoom];
  int length = std::snprintf(line, sizeof line,
                             "%4.1f s %5ld frames %5.1f kg TL %4.1f TR %4.1f BL %4.1f BR %4.1f CoP %+5.1f %+5.1f mm",
                             seconds, frames_, Shown(f.Total()), Shown(f.channel[kTopLeft]),
                             Shown(f.channel[kTopRight]), Shown(f.channel[kBottomLeft]),
                             Shown(f.channel[kBottomRight]), Shown(f.CopXmm()), Shown(f.CopYmm()));
  length = std::max(0, std::min(length, static_cast<int>(sizeof line) - 1));
  if (interactive_) {
    // Blanks over whatever a longer line before left behind.
    std::fprintf(stderr, "\r%s%*s", line, std::max(0, lastLength_ - length), "");
    std::fflush(stderr);
    lastLength_ = length;
    lineOpen_ = true;
  } else {
    std::printf("%s\n", line);
    std::fflush(stdout);
  }
  shownFrames_ = frames_;
}

}  // namespace kymhost
