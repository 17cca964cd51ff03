#include "sway_summary.h"

#include "fixed_format.h"

#include <utility>

namespace kymhost {

namespace {

constexpr int kSecondsDecimals = 2;
constexpr int kShownKgDecimals = 1;
constexpr int kShownMmDecimals = 1;
constexpr int kShownSpreadDecimals = 2;  // RMS: often a few millimetres
constexpr int kJsonDecimals = 3;         // well below what a board resolves

std::string Signed(double value, int decimals) {
  std::string text = Fixed(value, decimals);
  return text[0] == '-' ? text : "+" + text;
}

}  // namespace

std::vector<std::string> SummaryLines(const SwayMeasures& m) {
  std::string frames = std::to_string(m.frames);
  if (!m.HasStanding())
    return {"Sway: no standing frames among the " + frames + " recorded (none carried " +
            Fixed(kStandingLeastKg, 0) + " kg or more)."};
  std::string heading = "Sway over " + Fixed(m.standingSeconds, kSecondsDecimals) + " s standing (" +
                        std::to_string(m.standingFrames) + " of " + frames + " frames), mean " +
                        Fixed(m.meanTotalKg, kShownKgDecimals) + " kg, " +
                        (m.lowpassHz > 0 ? "low-pass " + Plain(m.lowpassHz) + " Hz" : "not filtered") + ":";
  std::string velocity = m.steps > 0 ? Fixed(m.velocityMmPerS, kShownMmDecimals) + " mm/s" : "none (no two frames in a row)";
  return {heading,
          "  Centre of pressure  mean x " + Signed(m.meanXmm, kShownMmDecimals) + " mm, y " +
              Signed(m.meanYmm, kShownMmDecimals) + " mm",
          "  RMS about the mean  x " + Fixed(m.rmsXmm, kShownSpreadDecimals) + " mm, y " +
              Fixed(m.rmsYmm, kShownSpreadDecimals) + " mm",
          "  Range               x " + Fixed(m.rangeXmm, kShownMmDecimals) + " mm, y " +
              Fixed(m.rangeYmm, kShownMmDecimals) + " mm",
          "  Path " + Fixed(m.pathMm, kShownMmDecimals) + " mm, mean velocity " + velocity,
          "  95 % ellipse area   " + Fixed(m.ellipse95AreaMm2, kShownMmDecimals) + " mm^2"};
}

std::string SummaryJson(const SwayMeasures& m) {
  const std::string null = "null";
  auto measure = [&](double value) { return m.HasStanding() ? Fixed(value, kJsonDecimals) : null; };
  std::pair<const char*, std::string> fields[] = {
      {"frames", std::to_string(m.frames)},
      {"standing_frames", std::to_string(m.standingFrames)},
      {"standing_seconds", Fixed(m.standingSeconds, kSecondsDecimals)},
      {"mean_total_kg", measure(m.meanTotalKg)},
      {"cop_mean_x_mm", measure(m.meanXmm)},
      {"cop_mean_y_mm", measure(m.meanYmm)},
      {"cop_rms_x_mm", measure(m.rmsXmm)},
      {"cop_rms_y_mm", measure(m.rmsYmm)},
      {"cop_range_x_mm", measure(m.rangeXmm)},
      {"cop_range_y_mm", measure(m.rangeYmm)},
      {"cop_path_mm", measure(m.pathMm)},
      {"cop_velocity_mm_s", m.steps > 0 ? Fixed(m.velocityMmPerS, kJsonDecimals) : null},
      {"ellipse95_area_mm2", measure(m.ellipse95AreaMm2)},
      {"lowpass_hz", m.lowpassHz > 0 ? Plain(m.lowpassHz) : null},
  };
  std::string json = "{\n";
  for (const auto& [key, value] : fields) {
    if (json.size() > 2) json += ",\n";
    json += std::string("  \"") + key + "\": " + value;
  }
  return json + "\n}\n";
}

}  // namespace kymhost
