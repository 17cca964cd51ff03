// A recorded trial as kymhost analyses it: frames at even steps, with their markers and label.
#pragma once

#include "measures/board_geometry.h"
#include "recording/trial_reader.h"

#include <string>
#include <vector>

namespace kymhost {

// kymhost's CSV carries the trial's label in a comment line that starts so.
constexpr char kLabelComment[] = "label:";
// Samples further from even spacing than this share of their step cannot be analysed.
constexpr double kEvenSpacingTolerance = 0.01;

struct RecordedTrial {
  double periodSeconds = 0;
  std::vector<FrameKg> frames;
  std::vector<int> markers;  // one a frame; 0: none
  std::string label;
};

// The trial's frames: from its corners when it has them (kymhost's CSV), else the frames with its
// total and centre of pressure. False, with error naming the file and line, when its samples
// are not evenly spaced.
bool FramesOfTrial(const recording::Trial& trial, const std::string& name, RecordedTrial& recorded, std::string& error);

}  // namespace kymhost
