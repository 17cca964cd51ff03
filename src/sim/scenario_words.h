// The words of a scenario file and the values they spell: numbers with or without their units,
// addresses, yes and no. Forgiving about spelling, exact about meaning: anything it cannot read
// becomes a ScenarioError that names the line.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace sim {

class ScenarioError : public std::runtime_error {
 public:
  ScenarioError(int line, const std::string& message) : std::runtime_error(message), line_(line) {}
  int line() const { return line_; }

 private:
  int line_;
};

struct ScenarioWord {
  std::string text;
  bool quoted = false;
};

struct ScenarioLine {
  int number = 0;  // from 1
  std::vector<ScenarioWord> words;
};

// Splits a file into its lines of words, leaving out blank and comment-only lines. Words are
// separated by spaces, tabs, "=" and ","; "#" starts a comment; "double quotes" keep a text with
// spaces together; a ":" at the end of a word is dropped.
std::vector<ScenarioLine> SplitScenarioLines(const std::string& text);

// Reads one line from left to right.
class WordCursor {
 public:
  explicit WordCursor(const ScenarioLine& line) : line_(line) {}

  bool AtEnd() const { return next_ >= line_.words.size(); }
  // Whether the next word is one of the keywords (case, "-" and "_" do not matter; keywords
  // lists spellings separated by "|").
  bool NextIs(const char* keywords) const;
  // Takes the next word when it is one of the keywords.
  bool Accept(const char* keywords);
  // As Accept, but a missing or different word is an error.
  void Expect(const char* keywords, const char* what);
  // The next word's text, left for the next call; empty at the end.
  std::string Peek() const { return AtEnd() ? std::string() : line_.words[next_].text; }
  // The next word, which must be there.
  const ScenarioWord& Next(const char* what);
  // The rest of the line as one text, or the next word when it was quoted.
  std::string Text(const char* what);

  uint64_t Micros(const char* what);  // a time: bare numbers are seconds; also ms, s, min
  double Kilograms(const char* what);
  double SignedKilograms(const char* what);  // also below zero: -0.4 kg
  double Millimetres(const char* what);  // also cm
  long Integer(const char* what, long lowest, long highest);  // decimal, or hexadecimal with 0x
  uint64_t Address(const char* what);  // 00:17:AB:3C:4D:5E, with "-" or nothing between the bytes
  bool YesNo(const char* what);        // yes/no, on/off, true/false, 1/0
  // A left/right split in percent: 40/60, 40%/60%, 40 / 60.
  void Split(double& leftPercent, double& rightPercent);
  // Nothing may follow.
  void ExpectEnd();

  [[noreturn]] void Fail(const std::string& message) const;
  int line() const { return line_.number; }

 private:
  // A number and the unit written after it, in the same word or the next.
  double Quantity(const char* what, std::string& unit, const std::vector<std::string>& units);

  const ScenarioLine& line_;
  size_t next_ = 0;
};

// Whether a word spells the keyword (case, "-" and "_" do not matter).
bool SameKeyword(const std::string& word, const std::string& keyword);

// A UTF-8 text as wide characters (bytes that are not UTF-8 are taken one by one).
std::wstring WidenUtf8(const std::string& text);

}  // namespace sim
