#include "host/live_readout.h"

#include "measures/combined_centre.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

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
constexpr double kPercent = 100;
// Four totals and the shares fill the line: the centre of pressure is shown for two boards.
constexpr int kMostBoardsWithCentre = 2;

// Keeps "-0.0" off the readout.
double Shown(double value) { return std::fabs(value) < kReadoutResolution ? 0.0 : value; }

}  // namespace

bool Interactive() { return isatty(fileno(stderr)) != 0; }
bool OutputIsTerminal() { return isatty(fileno(stdout)) != 0; }

LiveReadout::LiveReadout()
    : interactive_(Interactive()),
      period_(interactive_ ? std::chrono::duration_cast<Clock::duration>(kInteractiveReadout)
                           : std::chrono::duration_cast<Clock::duration>(kLoggedReadout)),
      last_(Clock::now()) {}

bool LiveReadout::Start(const RunStart& start) {
  periodSeconds_ = start.periodSeconds;
  std::vector<std::string> labels;
  for (const BoardIdentity& board : start.boards) labels.push_back(board.label);
  layout_ = LayOut(labels, start.gapMm);
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

// Fits an 80-column terminal (79 characters), so that rewriting it in place works.
int LiveReadout::OneBoardLine(char* line, size_t room, double seconds) const {
  const FrameKg& f = latest_.board[0].kg;
  double left = f.channel[kTopLeft] + f.channel[kBottomLeft], right = f.channel[kTopRight] + f.channel[kBottomRight];
  double both = f.HasLoad() ? left + right : 0;
  return std::snprintf(line, room, "%4.1f s %4.1f kg L %3.0f%% R %3.0f%% TL %4.1f TR %4.1f BL %4.1f BR %4.1f CoP %+5.1f %+5.1f mm",
                       seconds, Shown(f.Total()), both > 0 ? kPercent * left / both : 0.0,
                       both > 0 ? kPercent * right / both : 0.0, Shown(f.channel[kTopLeft]), Shown(f.channel[kTopRight]),
                       Shown(f.channel[kBottomLeft]), Shown(f.channel[kBottomRight]), Shown(f.CopXmm()), Shown(f.CopYmm()));
}

// A board whose latest frame did not come shows "-" rather than an old number.
int LiveReadout::BoardsLine(char* line, size_t room, double seconds) const {
  std::vector<PlacedLoad> loads;
  std::string totals;
  bool whole = true;
  for (int k = 0; k < latest_.boards; ++k) {
    const BoardFrame& part = latest_.board[static_cast<size_t>(k)];
    char total[24];
    if (part.present)
      std::snprintf(total, sizeof total, " b%d %5.1f", k + 1, Shown(part.kg.Total()));
    else
      std::snprintf(total, sizeof total, " b%d     -", k + 1);
    totals += total;
    whole = whole && part.present;
    loads.push_back({part.present ? part.kg.Total() : 0, part.kg.CopXmm(), part.kg.CopYmm()});
  }
  SwayFrame all = CombinedCentre(loads, layout_.centreXmm);
  double left = loads[static_cast<size_t>(layout_.left)].totalKg, right = loads[static_cast<size_t>(layout_.right)].totalKg;
  char person[48] = "    - kg L     -  R     - ";  // not while a board's frame is missing
  if (whole)
    std::snprintf(person, sizeof person, "%5.1f kg L %5.1f%% R %5.1f%%", Shown(all.totalKg),
                  left + right > 0 ? kPercent * left / (left + right) : 0.0,
                  left + right > 0 ? kPercent * right / (left + right) : 0.0);
  char centre[40] = "";
  if (latest_.boards <= kMostBoardsWithCentre && whole)
    std::snprintf(centre, sizeof centre, " CoP %+6.1f %+5.1f mm", Shown(all.copXmm), Shown(all.copYmm));
  return std::snprintf(line, room, "%4.1f s %s%s kg%s", seconds, person, totals.c_str(), centre);
}

void LiveReadout::Print() {
  double seconds = static_cast<double>(frames_) * periodSeconds_;
  char line[kReadoutRoom];
  int length = latest_.boards > 1 ? BoardsLine(line, sizeof line, seconds) : OneBoardLine(line, sizeof line, seconds);
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
