#include "files/sway_summary.h"

#include "files/fixed_format.h"

#include <cstdio>
#include <utility>

namespace kymhost {

namespace {

constexpr int kShownKgDecimals = 1;
constexpr int kShownPercentDecimals = 1;
constexpr int kShownMmDecimals = 1;
constexpr int kShownSpreadDecimals = 2;  // RMS: often a few millimetres
constexpr int kJsonDecimals = 3;         // well below what a board resolves

std::string Signed(double value, int decimals) {
  std::string text = Fixed(value, decimals);
  return text[0] == '-' ? text : "+" + text;
}

std::string Hz(double value) { return std::isfinite(value) ? Fixed(value, kShownHzDecimals) : "none"; }

std::string Seconds(double value) { return Fixed(value, kSecondsDecimals) + " s"; }

std::vector<std::string> NoteLines(const TrialNotes& notes) {
  std::vector<std::string> lines;
  if (!notes.label.empty()) lines.push_back("Trial: " + notes.label);
  bool from = std::isfinite(notes.fromSeconds), to = std::isfinite(notes.toSeconds);
  if (from || to)
    lines.push_back("Analysed: " + (from ? "from " + Seconds(notes.fromSeconds) : std::string("from the start")) +
                    (to ? " to " + Seconds(notes.toSeconds) : std::string(" to the end")) + " of the recording");
  std::string markers;
  for (const TrialNotes::Marker& marker : notes.markers)
    markers += (markers.empty() ? "Markers: " : ", ") + std::to_string(marker.number) + " at " + Seconds(marker.seconds);
  if (!markers.empty()) lines.push_back(markers);
  if (notes.resampledHz > 0)
    lines.push_back("Resampled: SWARII at " + Plain(notes.resampledHz) + " Hz, window " +
                    Plain(notes.resampleWindowSeconds) + " s");
  return lines;
}

std::vector<std::string> SpectrumLines(const SwayMeasures& m) {
  if (!m.HasSpectrum())
    return {"  Spectrum: none (no unbroken standing stretch of " + Plain(kLeastSpectrumSeconds) + " s)"};
  std::string stretch = m.spectrumOfAllStanding
                            ? "all " + Seconds(m.standingSeconds) + " standing"
                            : "the longest unbroken standing stretch, " + Seconds(m.spectrumSeconds);
  const FrequencyMeasures &x = m.frequencyX, &y = m.frequencyY;
  return {"  Spectrum of " + stretch + " (Welch, Hann windows of " + Seconds(m.spectrumX.windowSeconds) + "):",
          "  Mean frequency      x " + Hz(x.meanHz) + " Hz, y " + Hz(y.meanHz) + " Hz, both " + Hz(m.meanFrequencyHz) +
              " Hz",
          "  F50, F95            x " + Hz(x.f50Hz) + ", " + Hz(x.f95Hz) + " Hz; y " + Hz(y.f50Hz) + ", " + Hz(y.f95Hz) +
              " Hz",
          "  Peak frequency      x " + Hz(x.peakHz) + " Hz, y " + Hz(y.peakHz) + " Hz",
          "  Total power         x " + Fixed(x.totalPower, kShownSpreadDecimals) + " mm^2, y " +
              Fixed(y.totalPower, kShownSpreadDecimals) + " mm^2"};
}

std::string WeightBearingLine(const WeightBearing& w) {
  return "  Weight bearing      left " + Fixed(w.leftSharePct, kShownPercentDecimals) + " %, right " +
         Fixed(w.rightSharePct, kShownPercentDecimals) + " %, asymmetry " + Signed(w.meanPct, kShownPercentDecimals) +
         " % (SD " + Fixed(w.sdPct, kShownPercentDecimals) + " %)";
}

}  // namespace

std::vector<MeasureValue> MeasureValues(const SwayMeasures& m) {
  bool s = m.HasStanding(), f = m.HasSpectrum();
  auto hz = [&](const char* key, double value) { return MeasureValue{key, value, f && std::isfinite(value)}; };
  const FrequencyMeasures &x = m.frequencyX, &y = m.frequencyY;
  std::vector<MeasureValue> values = {
      {"mean_total_kg", m.meanTotalKg, s},
      {"cop_mean_x_mm", m.meanXmm, s},
      {"cop_mean_y_mm", m.meanYmm, s},
      {"cop_rms_x_mm", m.rmsXmm, s},
      {"cop_rms_y_mm", m.rmsYmm, s},
      {"cop_range_x_mm", m.rangeXmm, s},
      {"cop_range_y_mm", m.rangeYmm, s},
      {"cop_path_mm", m.pathMm, s},
      {"cop_velocity_mm_s", m.velocityMmPerS, s && m.steps > 0},
      {"ellipse95_area_mm2", m.ellipse95AreaMm2, s},
      hz("mean_freq_x_hz", x.meanHz),
      hz("mean_freq_y_hz", y.meanHz),
      hz("mean_freq_hz", m.meanFrequencyHz),
      hz("f50_x_hz", x.f50Hz),
      hz("f50_y_hz", y.f50Hz),
      hz("f95_x_hz", x.f95Hz),
      hz("f95_y_hz", y.f95Hz),
      hz("peak_freq_x_hz", x.peakHz),
      hz("peak_freq_y_hz", y.peakHz),
      {"total_power_x_mm2", x.totalPower, f},
      {"total_power_y_mm2", y.totalPower, f},
  };
  if (!m.weightBearing.measured) return values;
  const WeightBearing& w = m.weightBearing;
  values.insert(values.end(), {{"wba_mean_pct", w.meanPct, w.Known()},
                               {"wba_sd_pct", w.sdPct, w.Known()},
                               {"left_share_pct", w.leftSharePct, w.Known()},
                               {"right_share_pct", w.rightSharePct, w.Known()}});
  return values;
}

std::vector<std::string> SummaryLines(const SwayMeasures& m, const TrialNotes& notes) {
  std::vector<std::string> lines = NoteLines(notes);
  std::string frames = std::to_string(m.frames);
  if (!m.HasStanding()) {
    lines.push_back("Sway: no standing frames among the " + frames + " recorded (none carried " +
                    Fixed(kStandingLeastKg, 0) + " kg or more).");
    return lines;
  }
  std::string heading = "Sway over " + Fixed(m.standingSeconds, kSecondsDecimals) + " s standing (" +
                        std::to_string(m.standingFrames) + " of " + frames + " frames), mean " +
                        Fixed(m.meanTotalKg, kShownKgDecimals) + " kg, " +
                        (m.lowpassHz > 0 ? "low-pass " + Plain(m.lowpassHz) + " Hz" : "not filtered") + ":";
  std::string velocity = m.steps > 0 ? Fixed(m.velocityMmPerS, kShownMmDecimals) + " mm/s" : "none (no two frames in a row)";
  std::vector<std::string> measures = {
      heading,
      "  Centre of pressure  mean x " + Signed(m.meanXmm, kShownMmDecimals) + " mm, y " +
          Signed(m.meanYmm, kShownMmDecimals) + " mm",
      "  RMS about the mean  x " + Fixed(m.rmsXmm, kShownSpreadDecimals) + " mm, y " +
          Fixed(m.rmsYmm, kShownSpreadDecimals) + " mm",
      "  Range               x " + Fixed(m.rangeXmm, kShownMmDecimals) + " mm, y " +
          Fixed(m.rangeYmm, kShownMmDecimals) + " mm",
      "  Path " + Fixed(m.pathMm, kShownMmDecimals) + " mm, mean velocity " + velocity,
      "  95 % ellipse area   " + Fixed(m.ellipse95AreaMm2, kShownMmDecimals) + " mm^2"};
  lines.insert(lines.end(), measures.begin(), measures.end());
  if (m.weightBearing.Known()) lines.push_back(WeightBearingLine(m.weightBearing));
  std::vector<std::string> spectrum = SpectrumLines(m);
  lines.insert(lines.end(), spectrum.begin(), spectrum.end());
  return lines;
}

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

JsonFields MeasureFields(const SwayMeasures& m) {
  JsonFields fields = {
      {"frames", std::to_string(m.frames)},
      {"standing_frames", std::to_string(m.standingFrames)},
      {"standing_seconds", Fixed(m.standingSeconds, kSecondsDecimals)},
  };
  for (const MeasureValue& measure : MeasureValues(m))
    fields.emplace_back(measure.key, measure.known ? Fixed(measure.value, kJsonDecimals) : "null");
  return fields;
}

JsonFields NoteFields(const SwayMeasures& m, const TrialNotes& notes) {
  const std::string null = "null";
  auto seconds = [&](double value) { return std::isfinite(value) ? Fixed(value, kJsonDecimals) : null; };
  std::string markers;
  for (const TrialNotes::Marker& marker : notes.markers) markers += (markers.empty() ? "" : ", ") + seconds(marker.seconds);
  bool resampled = notes.resampledHz > 0;
  return {{"lowpass_hz", m.lowpassHz > 0 ? Plain(m.lowpassHz) : null},
          {"resampled_hz", resampled ? Plain(notes.resampledHz) : null},
          {"resample_window_s", resampled ? Plain(notes.resampleWindowSeconds) : null},
          {"label", notes.label.empty() ? null : JsonString(notes.label)},
          {"from_s", seconds(notes.fromSeconds)},
          {"to_s", seconds(notes.toSeconds)},
          {"markers_s", "[" + markers + "]"}};
}

std::string JsonObject(const JsonFields& fields, int indent) {
  std::string margin(static_cast<size_t>(indent), ' ');
  std::string json = "{\n";
  for (const auto& [key, value] : fields) {
    if (json.size() > 2) json += ",\n";
    json += margin + "  \"" + key + "\": " + value;
  }
  return json + "\n" + margin + "}";
}

std::string SummaryJson(const SwayMeasures& m, const TrialNotes& notes) {
  JsonFields fields = MeasureFields(m);
  JsonFields noteFields = NoteFields(m, notes);
  fields.insert(fields.end(), noteFields.begin(), noteFields.end());
  return JsonObject(fields) + "\n";
}

}  // namespace kymhost
