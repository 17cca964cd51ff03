#include "recording/trial_columns.h"

#include <cctype>

namespace recording {

namespace {

constexpr double kStandardGravity = 9.80665;  // newtons per kilogram-force

enum Dimension { kSeconds, kKilograms, kMillimetres, kCount };

struct KnownName {
  const char* name;  // lower case, without blanks, '_', '-' or '.'
  Quantity quantity;
  const char* defaultUnit;
};

const KnownName kNames[] = {
    {"time", kTime, "s"},           {"t", kTime, "s"},
    {"fz", kLoad, "n"},             {"force", kLoad, "n"},
    {"total", kLoad, "kg"},         {"weight", kLoad, "kg"},
    {"copx", kCopX, "mm"},          {"copml", kCopX, "mm"},
    {"copy", kCopY, "mm"},          {"copap", kCopY, "mm"},
    {"topleft", kTopLeft, "kg"},    {"bottomleft", kBottomLeft, "kg"},
    {"topright", kTopRight, "kg"},  {"bottomright", kBottomRight, "kg"},
    {"marker", kMarker, ""},
};

struct KnownUnit {
  const char* unit;  // lower case
  Dimension dimension;
  double scale;
};

const KnownUnit kUnits[] = {
    {"s", kSeconds, 1},           {"ms", kSeconds, 1e-3},
    {"kg", kKilograms, 1},        {"n", kKilograms, 1 / kStandardGravity},
    {"mm", kMillimetres, 1},      {"cm", kMillimetres, 10},  {"m", kMillimetres, 1000},
};

Dimension DimensionOf(Quantity quantity) {
  switch (quantity) {
    case kTime: return kSeconds;
    case kCopX:
    case kCopY: return kMillimetres;
    case kMarker: return kCount;
    default: return kKilograms;
  }
}

const char* UnitsOf(Dimension dimension) {
  switch (dimension) {
    case kSeconds: return "s or ms";
    case kKilograms: return "N or kg";
    case kMillimetres: return "mm, cm or m";
    default: return "none";
  }
}

// The name as the table has it: lower case, without the characters people vary.
std::string Key(const std::string& name) {
  std::string key;
  for (char c : Lower(name))
    if (c != ' ' && c != '\t' && c != '_' && c != '-' && c != '.') key += c;
  return key;
}

const KnownName* FindName(const std::string& key) {
  for (const KnownName& known : kNames)
    if (key == known.name) return &known;
  return nullptr;
}

const KnownUnit* FindUnit(const std::string& unit, Dimension dimension) {
  for (const KnownUnit& known : kUnits)
    if (unit == known.unit && known.dimension == dimension) return &known;
  return nullptr;
}

bool IsAnyUnit(const std::string& unit) {
  for (const KnownUnit& known : kUnits)
    if (unit == known.unit) return true;
  return false;
}

// Splits "name[unit]", "name(unit)" and "name_unit"; the unit is empty when the title gives none.
// A "_suffix" is a unit only when the name before it is one the table knows.
const KnownName* Interpret(const std::string& title, std::string& unit) {
  std::string lower = Lower(Trimmed(title));
  unit.clear();
  size_t open = lower.find_first_of("[(");
  if (open != std::string::npos) {
    char close = lower[open] == '[' ? ']' : ')';
    size_t end = lower.find(close, open);
    if (end != std::string::npos) {
      unit = Trimmed(lower.substr(open + 1, end - open - 1));
      return FindName(Key(lower.substr(0, open)));
    }
  }
  if (const KnownName* whole = FindName(Key(lower))) return whole;
  size_t underscore = lower.rfind('_');
  if (underscore == std::string::npos || !IsAnyUnit(lower.substr(underscore + 1))) return nullptr;
  unit = lower.substr(underscore + 1);
  return FindName(Key(lower.substr(0, underscore)));
}

}  // namespace

std::string Lower(const std::string& text) {
  std::string out;
  for (char c : text) out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string Trimmed(const std::string& text, const char* strip) {
  size_t first = text.find_first_not_of(strip);
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(strip) - first + 1);
}

bool ReadHeader(const std::vector<std::string>& names, Columns& columns, std::string& why) {
  columns = Columns{};
  for (size_t i = 0; i < names.size(); ++i) {
    std::string unit;
    const KnownName* known = Interpret(names[i], unit);
    if (!known || columns.of[known->quantity].index >= 0) continue;
    Dimension dimension = DimensionOf(known->quantity);
    if (unit.empty()) unit = known->defaultUnit;
    double scale = 1;
    if (!unit.empty()) {
      const KnownUnit* found = FindUnit(unit, dimension);
      if (!found) {
        why = "the unit '" + unit + "' of the column '" + Trimmed(names[i]) + "' is not one it knows (" +
              UnitsOf(dimension) + ")";
        return false;
      }
      scale = found->scale;
    }
    columns.of[known->quantity] = {static_cast<int>(i), scale, Trimmed(names[i])};
  }
  return true;
}

}  // namespace recording
