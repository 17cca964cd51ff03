// The sway measures as people read them (a few lines) and as programs read them (JSON).
#pragma once

#include "measures/sway_measures.h"

#include <cmath>
#include <string>
#include <utility>
#include <vector>

namespace kymhost {

// What the summary says about the trial besides its measures.
struct TrialNotes {
  struct Marker {
    int number;
    double seconds;  // from the recording's start
  };
  std::string label;  // empty: none
  // The analysed part, in seconds from the recording's start; NaN: from its start, to its end.
  double fromSeconds = std::nan("");
  double toSeconds = std::nan("");
  std::vector<Marker> markers;
  // How the frames came from a file's uneven samples: SWARII at this rate and window; 0: not.
  double resampledHz = 0;
  double resampleWindowSeconds = 0;
};

// One measure under its JSON key; not known where the JSON has null.
struct MeasureValue {
  const char* key;
  double value;
  bool known;
};

// Every measure, from the mean total weight to the total power, in the JSON's order.
std::vector<MeasureValue> MeasureValues(const SwayMeasures& measures);

// The trial's notes, a heading line and the measures, one group a line; one line for the
// measures when nobody stood on the board.
std::vector<std::string> SummaryLines(const SwayMeasures& measures, const TrialNotes& notes = {});

// One JSON object, numbers in plain decimal, null for what the recording cannot give.
std::string SummaryJson(const SwayMeasures& measures, const TrialNotes& notes = {});

// A JSON object's fields, each key with its value as written.
using JsonFields = std::vector<std::pair<std::string, std::string>>;
// The frame counts and every measure, as the summary's JSON has them.
JsonFields MeasureFields(const SwayMeasures& measures);
// The trial's notes, as the summary's JSON ends.
JsonFields NoteFields(const SwayMeasures& measures, const TrialNotes& notes);
// The fields as one object, a field a line; indent: the spaces before each closing brace.
std::string JsonObject(const JsonFields& fields, int indent = 0);

// Text as a JSON string, quotes included.
std::string JsonString(const std::string& text);

}  // namespace kymhost
