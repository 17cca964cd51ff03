// Where the host's four channels sit on the board, and what a frame says about the person on it.
#pragma once

#include "recording/trial_reader.h"

namespace kymhost {

// Channels 1..4 are the sensors at top left, bottom left, top right and bottom right.
enum Corner { kTopLeft = 0, kBottomLeft = 1, kTopRight = 2, kBottomRight = 3 };
constexpr int kChannels = 4;
using recording::kSensorSpanXmm;
using recording::kSensorSpanYmm;
// The board's outer width and depth as sold (its sensor centres sit 433 mm and 238 mm apart
// within them): for boards laid side by side, and for the live view's picture.
constexpr double kBoardWidthMm = 511.0;
constexpr double kBoardDepthMm = 316.0;
// Below this total the centre of pressure means nothing.
constexpr double kMinimumLoadKg = 1.0;

struct FrameKg {
  double channel[kChannels];

  double Total() const { return channel[0] + channel[1] + channel[2] + channel[3]; }
  bool HasLoad() const { return Total() >= kMinimumLoadKg; }
  // Centre of pressure in millimetres from the board's centre: x to the right, y to the front.
  double CopXmm() const {
    double right = channel[kTopRight] + channel[kBottomRight];
    double left = channel[kTopLeft] + channel[kBottomLeft];
    return HasLoad() ? kSensorSpanXmm / 2 * (right - left) / Total() : 0.0;
  }
  double CopYmm() const {
    double top = channel[kTopLeft] + channel[kTopRight];
    double bottom = channel[kBottomLeft] + channel[kBottomRight];
    return HasLoad() ? kSensorSpanYmm / 2 * (top - bottom) / Total() : 0.0;
  }

  // A frame with this total and centre of pressure: of the many, the one whose diagonals carry
  // equal sums.
  static FrameKg Of(double totalKg, double copXmm, double copYmm) {
    FrameKg frame{};
    recording::CornersOfCentre(totalKg, copXmm, copYmm, frame.channel);
    return frame;
  }
};

}  // namespace kymhost
