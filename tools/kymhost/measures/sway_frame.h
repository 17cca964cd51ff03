// What a frame contributes to the sway measures: its total weight and its centre of pressure.
#pragma once

namespace kymhost {

struct SwayFrame {
  double totalKg;
  double copXmm;
  double copYmm;
};

}  // namespace kymhost
