// The values on a line of a recording's text: how they are separated, trimmed and read as numbers,
// the same for every text format the readers know.
#pragma once

#include <string_view>
#include <vector>

namespace recording {

constexpr char kBlanks[] = " \t";
constexpr char kSpaces = ' ';  // the separator of files whose values runs of blanks separate

// The most frequent of comma, semicolon and tab in the line, else kSpaces.
char SeparatorOf(std::string_view line);

std::string_view TrimmedView(std::string_view text, std::string_view strip = kBlanks);

// The line's values, without the blanks and quotes around them, into fields (which it reuses).
void Split(std::string_view line, char separator, std::vector<std::string_view>& fields);

// A decimal number, with a decimal comma where decimalComma; false for anything else.
bool ReadDecimal(std::string_view text, bool decimalComma, double& value);

}  // namespace recording
