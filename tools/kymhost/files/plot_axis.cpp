#include "files/plot_axis.h"

#include "files/fixed_format.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace kymhost {

namespace {
constexpr double kRoundSteps[] = {1, 2, 5, 10};
constexpr double kSnapTolerance = 1e-9;  // in steps: a value a hair past a tick is on it
}  // namespace

std::vector<double> PlotAxis::Ticks() const {
  std::vector<double> ticks;
  long count = std::lround(Span() / step);
  for (long i = 0; i <= count; ++i) ticks.push_back(low + static_cast<double>(i) * step);
  return ticks;
}

std::string PlotAxis::Label(double tick) const {
  int decimals = std::max(0, static_cast<int>(-std::floor(std::log10(step) + kSnapTolerance)));
  return Fixed(tick, decimals);
}

PlotAxis RoundAxis(double low, double high, int mostTicks) {
  if (!(high > low)) high = low + 1;
  double rough = (high - low) / mostTicks;
  double power = std::pow(10.0, std::floor(std::log10(rough)));
  double step = power * kRoundSteps[std::size(kRoundSteps) - 1];
  for (double multiple : kRoundSteps) {
    if (multiple * power >= rough) {
      step = multiple * power;
      break;
    }
  }
  return {std::floor(low / step + kSnapTolerance) * step, std::ceil(high / step - kSnapTolerance) * step, step};
}

}  // namespace kymhost
