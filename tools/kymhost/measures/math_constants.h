// Pi, for the filter, the sway measures and the plot's ellipse (M_PI is not standard C++).
#pragma once

namespace kymhost {

constexpr double kPi = 3.14159265358979323846;

}  // namespace kymhost
