// A plot axis with ticks at round values: 1, 2 or 5 times a power of ten.
#pragma once

#include <string>
#include <vector>

namespace kymhost {

struct PlotAxis {
  double low, high, step;  // low and high are multiples of step

  double Span() const { return high - low; }
  std::vector<double> Ticks() const;
  std::string Label(double tick) const;  // as many decimals as the step needs
};

// The smallest round axis that holds low..high with at most about mostTicks steps.
PlotAxis RoundAxis(double low, double high, int mostTicks);

}  // namespace kymhost
