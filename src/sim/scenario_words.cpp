#include "sim/scenario_words.h"

#include "recording/hex_digit.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace sim {

using recording::HexDigit;

namespace {

bool IsSeparator(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '=' || c == ','; }

std::string Folded(const std::string& word) {
  std::string out;
  for (char c : word) {
    if (c == '-' || c == '_') continue;
    out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return out;
}

std::string Quote(const std::string& word) { return "'" + word + "'"; }

// Reads a whole decimal number at the start of text; the rest is left in rest.
bool LeadingNumber(const std::string& text, double& value, std::string& rest) {
  if (text.empty()) return false;
  char c = text[0];
  if (!std::isdigit(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != '+') return false;
  const char* begin = text.c_str();
  char* end = nullptr;
  errno = 0;
  value = std::strtod(begin, &end);
  if (end == begin || errno == ERANGE || !std::isfinite(value)) return false;
  // strtod also reads hexadecimal, infinities and exponents; only plain decimals are numbers here.
  for (const char* p = begin; p != end; ++p) {
    if (!std::isdigit(static_cast<unsigned char>(*p)) && *p != '.' && *p != '-' && *p != '+') return false;
  }
  rest = std::string(end);
  return true;
}

}  // namespace

bool SameKeyword(const std::string& word, const std::string& keyword) { return Folded(word) == Folded(keyword); }

std::vector<ScenarioLine> SplitScenarioLines(const std::string& text) {
  std::vector<ScenarioLine> lines;
  ScenarioLine line;
  line.number = 1;
  ScenarioWord word;
  bool inWord = false, inQuotes = false, inComment = false;
  auto endWord = [&] {
    if (!inWord) return;
    if (!word.quoted && word.text.size() > 1 && word.text.back() == ':') word.text.pop_back();
    line.words.push_back(word);
    word = ScenarioWord();
    inWord = false;
  };
  for (size_t i = 0; i <= text.size(); ++i) {
    char c = i < text.size() ? text[i] : '\n';
    if (c == '\n') {
      if (inQuotes) throw ScenarioError(line.number, "a quoted text is not closed before the end of the line");
      endWord();
      if (!line.words.empty()) lines.push_back(line);
      line.words.clear();
      ++line.number;
      inComment = false;
      continue;
    }
    if (inComment) continue;
    if (inQuotes) {
      if (c == '"') {
        inQuotes = false;
        endWord();
      } else {
        word.text += c;
      }
      continue;
    }
    if (c == '#') {
      endWord();
      inComment = true;
    } else if (c == '"') {
      endWord();
      inQuotes = inWord = word.quoted = true;
    } else if (IsSeparator(c)) {
      endWord();
    } else {
      word.text += c;
      inWord = true;
    }
  }
  return lines;
}

void WordCursor::Fail(const std::string& message) const { throw ScenarioError(line_.number, message); }

bool WordCursor::NextIs(const char* keywords) const {
  if (AtEnd() || line_.words[next_].quoted) return false;
  std::string list = keywords;
  for (size_t start = 0;;) {
    size_t bar = list.find('|', start);
    if (SameKeyword(line_.words[next_].text, list.substr(start, bar - start))) return true;
    if (bar == std::string::npos) return false;
    start = bar + 1;
  }
}

bool WordCursor::Accept(const char* keywords) {
  if (!NextIs(keywords)) return false;
  ++next_;
  return true;
}

void WordCursor::Expect(const char* keywords, const char* what) {
  if (Accept(keywords)) return;
  std::string choices = keywords;
  for (auto& c : choices) c = c == '|' ? '/' : c;
  if (AtEnd()) Fail(std::string(what) + " is missing (" + choices + ")");
  Fail(Quote(line_.words[next_].text) + " is not " + what + " (" + choices + ")");
}

const ScenarioWord& WordCursor::Next(const char* what) {
  if (AtEnd()) Fail(std::string(what) + " is missing");
  return line_.words[next_++];
}

std::string WordCursor::Text(const char* what) {
  const ScenarioWord& first = Next(what);
  if (first.quoted) return first.text;
  std::string text = first.text;
  while (!AtEnd()) text += " " + line_.words[next_++].text;
  return text;
}

double WordCursor::Quantity(const char* what, std::string& unit, const std::vector<std::string>& units) {
  const ScenarioWord& word = Next(what);
  double value;
  std::string rest;
  if (word.quoted || !LeadingNumber(word.text, value, rest)) Fail(Quote(word.text) + " is not a number for " + what);
  unit = Folded(rest);
  if (unit.empty() && !AtEnd() && !line_.words[next_].quoted) {
    std::string following = Folded(line_.words[next_].text);
    for (const auto& u : units) {
      if (following == u) {
        unit = following;
        ++next_;
        break;
      }
    }
  }
  if (unit.empty()) return value;
  for (const auto& u : units) {
    if (unit == u) return value;
  }
  Fail(Quote(word.text) + ": " + Quote(rest) + " is not a unit for " + what);
}

uint64_t WordCursor::Micros(const char* what) {
  std::string unit;
  double value = Quantity(what, unit, {"s", "sec", "secs", "second", "seconds", "ms", "millisecond", "milliseconds",
                                       "us", "microsecond", "microseconds", "min", "minute", "minutes"});
  double scale = 1e6;
  if (unit == "ms" || unit.rfind("milli", 0) == 0) scale = 1e3;
  if (unit == "us" || unit.rfind("micro", 0) == 0) scale = 1;
  if (unit.rfind("min", 0) == 0) scale = 60e6;
  if (value < 0) Fail(std::string(what) + " cannot be negative");
  double micros = std::round(value * scale);
  constexpr double kLongest = 1e15;  // about thirty years
  if (micros > kLongest) Fail(std::string(what) + " is too long");
  return static_cast<uint64_t>(micros);
}

double WordCursor::Kilograms(const char* what) {
  std::string unit;
  double value = Quantity(what, unit, {"kg", "kilogram", "kilograms"});
  if (value < 0) Fail(std::string(what) + " cannot be negative");
  return value;
}

double WordCursor::SignedKilograms(const char* what) {
  std::string unit;
  return Quantity(what, unit, {"kg", "kilogram", "kilograms"});
}

double WordCursor::Millimetres(const char* what) {
  std::string unit;
  double value = Quantity(what, unit, {"mm", "millimetre", "millimetres", "cm", "centimetre", "centimetres"});
  return unit.rfind("c", 0) == 0 ? value * 10 : value;
}

long WordCursor::Integer(const char* what, long lowest, long highest) {
  const ScenarioWord& word = Next(what);
  const std::string& t = word.text;
  long value = 0;
  bool hex = t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X');
  bool ok = !word.quoted && !t.empty() && t.size() < 12;
  for (size_t i = hex ? 2 : 0; ok && i < t.size(); ++i) {
    int digit = hex ? HexDigit(t[i]) : (std::isdigit(static_cast<unsigned char>(t[i])) ? t[i] - '0' : -1);
    ok = digit >= 0;
    value = value * (hex ? 16 : 10) + digit;
  }
  if (!ok) Fail(Quote(t) + " is not a whole number for " + what);
  if (value < lowest || value > highest)
    Fail(std::string(what) + " must lie between " + std::to_string(lowest) + " and " + std::to_string(highest));
  return value;
}

uint64_t WordCursor::Address(const char* what) {
  const ScenarioWord& word = Next(what);
  uint64_t address = 0;
  int digits = 0;
  bool ok = !word.quoted;
  for (size_t i = 0; ok && i < word.text.size(); ++i) {
    char c = word.text[i];
    if (c == ':' || c == '-') {
      ok = digits > 0 && digits % 2 == 0;
      continue;
    }
    int digit = HexDigit(c);
    ok = digit >= 0 && digits < 12;
    address = address << 4 | static_cast<uint64_t>(digit);
    ++digits;
  }
  if (!ok || digits != 12)
    Fail(Quote(word.text) + " is not a Bluetooth address for " + what + " (six bytes: 00:17:AB:3C:4D:5E)");
  return address;
}

bool WordCursor::YesNo(const char* what) {
  if (Accept("yes|on|true|1")) return true;
  if (Accept("no|off|false|0")) return false;
  if (AtEnd()) Fail(std::string(what) + " needs yes or no (on or off)");
  Fail(Quote(line_.words[next_].text) + " is not yes or no (on or off), for " + what);
}

void WordCursor::Split(double& leftPercent, double& rightPercent) {
  const char* what = "the left/right split";
  std::string text = Next(what).text;
  if (text.find('/') == std::string::npos || text.back() == '/') {
    if (!AtEnd() && line_.words[next_].text.rfind('/', 0) == 0) text += line_.words[next_++].text;
    if (text.back() == '/') text += Next(what).text;
  }
  size_t slash = text.find('/');
  std::string parts[2] = {text.substr(0, slash), slash == std::string::npos ? "" : text.substr(slash + 1)};
  double values[2];
  for (int i = 0; i < 2; ++i) {
    std::string rest;
    if (!LeadingNumber(parts[i], values[i], rest) || (rest != "" && rest != "%") || values[i] < 0)
      Fail(Quote(text) + " is not a left/right split in percent (like 40/60)");
  }
  if (values[0] + values[1] <= 0) Fail("a left/right split needs some weight on one side");
  leftPercent = values[0];
  rightPercent = values[1];
}

void WordCursor::ExpectEnd() {
  if (!AtEnd()) Fail("unexpected " + Quote(line_.words[next_].text));
}

std::wstring WidenUtf8(const std::string& text) {
  std::wstring out;
  for (size_t i = 0; i < text.size();) {
    auto byte = static_cast<unsigned char>(text[i]);
    size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
    uint32_t code = length == 1 ? byte : byte & (0x7F >> length);
    bool valid = length == 1 || i + length <= text.size();
    for (size_t k = 1; valid && k < length; ++k) {
      auto next = static_cast<unsigned char>(text[i + k]);
      valid = (next & 0xC0) == 0x80;
      code = code << 6 | (next & 0x3F);
    }
    if (!valid) {
      code = byte;
      length = 1;
    }
    out += static_cast<wchar_t>(code);
    i += length;
  }
  return out;
}

}  // namespace sim
