// What a recording's header says: which column holds which quantity, and in which unit.
#pragma once

#include <string>
#include <vector>

namespace recording {

enum Quantity { kTime, kLoad, kCopX, kCopY, kTopLeft, kBottomLeft, kTopRight, kBottomRight, kMarker, kQuantities };

struct Column {
  int index = -1;     // -1: the file has no such column
  double scale = 1;   // value x scale is in s, kg or mm
  std::string title;  // as the header writes it
};

struct Columns {
  Column of[kQuantities];
};

// Text without the characters of strip at either end.
std::string Trimmed(const std::string& text, const char* strip = " \t");
std::string Lower(const std::string& text);

// Reads the header's names into columns. False, saying why, when a column it knows has a unit
// it does not.
bool ReadHeader(const std::vector<std::string>& names, Columns& columns, std::string& why);

}  // namespace recording
