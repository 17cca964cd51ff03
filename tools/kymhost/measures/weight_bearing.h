// How a person shares their weight between the left and the right side: over the standing
// frames, the weight-bearing asymmetry 100 × (right − left) / (right + left), its spread, and the
// share of the weight on each side.
#pragma once

#include <cstddef>
#include <functional>
#include <vector>

namespace kymhost {

// One frame's load on each side, with the total that decides whether the frame stands.
struct SideLoads {
  double totalKg;
  double leftKg;
  double rightKg;
};

struct WeightBearing {
  bool measured = false;  // the recording tells the sides apart
  long frames = 0;        // the standing frames with weight on either side
  double meanPct = 0;     // the mean asymmetry: negative when the left side bears more
  double sdPct = 0;       // its population standard deviation over the frames
  double leftSharePct = 0;
  double rightSharePct = 0;

  bool Known() const { return measured && frames > 0; }
};

// Over the frames whose total is standingLeastKg or more. A side share is the mean of its
// frames' shares, so the two add up to 100 and their difference is the mean asymmetry.
WeightBearing MeasureWeightBearing(const std::vector<SideLoads>& frames, double standingLeastKg);
// The same over count frames that frame(i) gives, for a recording that works them out as asked.
WeightBearing MeasureWeightBearing(size_t count, const std::function<SideLoads(size_t)>& frame, double standingLeastKg);

}  // namespace kymhost
