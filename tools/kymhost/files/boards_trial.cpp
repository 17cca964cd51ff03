#include "files/boards_trial.h"

#include "files/boards_columns.h"
#include "files/fixed_format.h"
#include "files/recorded_trial.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <system_error>

namespace kymhost {

namespace {

constexpr int kCornerColumns = 4;  // the first of each board's columns; the rest follow from them

std::vector<std::string> Split(const std::string& line) {
  std::vector<std::string> fields;
  size_t at = 0;
  for (size_t comma; (comma = line.find(',', at)) != std::string::npos; at = comma + 1)
    fields.push_back(line.substr(at, comma - at));
  fields.push_back(line.substr(at));
  return fields;
}

bool Number(const std::string& text, double& value) {
  auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  return !text.empty() && result.ec == std::errc() && result.ptr == text.data() + text.size() && std::isfinite(value);
}

int Column(const std::vector<std::string>& names, const std::string& name) {
  auto found = std::find(names.begin(), names.end(), name);
  return found == names.end() ? -1 : static_cast<int>(found - names.begin());
}

std::string HeaderLine(const std::string& text) {
  size_t at = 0;
  while (at < text.size()) {
    size_t end = std::min(text.find('\n', at), text.size());
    std::string line = text.substr(at, end - at);
    at = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line[0] != '#') return line;
  }
  return {};
}

// "# board 2: 0019fd001122 right", "# start_spread_ms: 0.812", "# layout: side-by-side 0 mm".
void ReadComment(const std::string& comment, BoardsTrial& trial) {
  std::string board = std::string(kBoardComment) + " ";
  if (comment.rfind(board, 0) == 0) {
    int number = std::atoi(comment.c_str() + board.size());
    size_t colon = comment.find(':');
    if (number < 1 || number > kMostBoards || colon == std::string::npos) return;
    std::string rest = comment.substr(colon + 1);
    rest.erase(0, rest.find_first_not_of(' '));
    size_t space = rest.find(' ');
    if (static_cast<int>(trial.boards.size()) < number) trial.boards.resize(static_cast<size_t>(number));
    BoardIdentity& identity = trial.boards[static_cast<size_t>(number - 1)];
    identity.serial = rest.substr(0, space);
    identity.label = space == std::string::npos ? "" : rest.substr(space + 1);
  } else if (comment.rfind(kSpreadComment, 0) == 0) {
    trial.startSpreadMs = std::atof(comment.c_str() + sizeof kSpreadComment - 1);
  } else if (comment.rfind(kLayoutComment, 0) == 0) {
    trial.gapMm = std::atof(comment.c_str() + sizeof kLayoutComment - 1);
  } else if (comment.rfind(kLabelComment, 0) == 0) {
    size_t text = comment.find_first_not_of(' ', sizeof kLabelComment - 1);
    trial.label = text == std::string::npos ? "" : comment.substr(text);
  }
}

}  // namespace

bool IsBoardsCsv(const std::string& text) {
  return Column(Split(HeaderLine(text)), BoardColumnPrefix(0) + kBoardColumns[0]) >= 0;
}

bool ParseBoardsTrial(const std::string& text, const std::string& name, BoardsTrial& trial, std::string& error) {
  trial = BoardsTrial{};
  trial.startSpreadMs = trial.gapMm = std::nan("");
  long lineNumber = 0;
  auto fail = [&](const std::string& what) {
    error = name + ":" + std::to_string(lineNumber) + ": " + what;
    return false;
  };
  std::vector<std::string> names;
  int time = -1, marker = -1, boards = 0;
  std::vector<std::vector<int>> corners;  // each board's four corner columns
  std::vector<double> times;
  std::vector<long> lines;
  for (size_t at = 0; at < text.size();) {
    size_t end = std::min(text.find('\n', at), text.size());
    std::string line = text.substr(at, end - at);
    at = end + 1;
    ++lineNumber;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    if (line[0] == '#') {
      std::string comment = line.substr(1);
      comment.erase(0, comment.find_first_not_of(' '));
      ReadComment(comment, trial);
      continue;
    }
    if (names.empty()) {
      names = Split(line);
      time = Column(names, kTimeColumn);
      marker = Column(names, kMarkerColumn);
      if (time < 0) return fail("no time column '" + std::string(kTimeColumn) + "'");
      for (; boards < kMostBoards; ++boards) {
        std::vector<int> columns;
        for (int c = 0; c < kCornerColumns; ++c) columns.push_back(Column(names, BoardColumnPrefix(boards) + kBoardColumns[c]));
        if (std::count(columns.begin(), columns.end(), -1) == kCornerColumns) break;
        if (std::count(columns.begin(), columns.end(), -1) > 0)
          return fail("board " + std::to_string(boards + 1) + " lacks one of its corner columns");
        corners.push_back(columns);
      }
      continue;
    }
    std::vector<std::string> fields = Split(line);
    if (fields.size() < names.size())
      return fail(std::to_string(fields.size()) + " values where the header has " + std::to_string(names.size()));
    FrameRow row;
    row.boards = boards;
    double seconds = 0;
    if (!Number(fields[static_cast<size_t>(time)], seconds)) return fail("'" + fields[static_cast<size_t>(time)] + "' is not a time");
    for (int k = 0; k < boards; ++k) {
      BoardFrame& part = row.board[static_cast<size_t>(k)];
      int empty = 0;
      for (int c = 0; c < kCornerColumns; ++c) {
        const std::string& field = fields[static_cast<size_t>(corners[static_cast<size_t>(k)][static_cast<size_t>(c)])];
        if (field.empty()) {
          ++empty;
        } else if (!Number(field, part.kg.channel[c])) {
          return fail("'" + field + "' is not a number for board " + std::to_string(k + 1));
        }
      }
      if (empty > 0 && empty < kCornerColumns) return fail("board " + std::to_string(k + 1) + " has some of its corners only");
      part.present = empty == 0;
    }
    if (marker >= 0 && !fields[static_cast<size_t>(marker)].empty()) {
      row.marker = std::atoi(fields[static_cast<size_t>(marker)].c_str());
      if (row.marker <= 0) return fail("'" + fields[static_cast<size_t>(marker)] + "' is not a marker number");
    }
    if (!times.empty() && !(seconds > times.back()))
      return fail("the time " + Short(seconds) + " s does not come after " + Short(times.back()) + " s");
    times.push_back(seconds);
    lines.push_back(lineNumber);
    trial.rows.push_back(row);
  }
  if (names.empty()) return fail("no header line naming the columns");
  if (trial.rows.size() < 2) return fail("one sample is not a recording to analyse");
  std::vector<double> steps;
  for (size_t i = 1; i < times.size(); ++i) steps.push_back(times[i] - times[i - 1]);
  std::nth_element(steps.begin(), steps.begin() + static_cast<std::ptrdiff_t>(steps.size() / 2), steps.end());
  double step = steps[steps.size() / 2];
  for (size_t i = 1; i < times.size(); ++i) {
    if (std::fabs(times[i] - times[i - 1] - step) <= kEvenSpacingTolerance * step) continue;
    lineNumber = lines[i];
    return fail("the time " + Short(times[i]) + " s comes " + Short(times[i] - times[i - 1]) +
                " s after the one before, where the samples are " + Short(step) +
                " s apart: analysis needs samples evenly spaced (within 1 %)");
  }
  trial.periodSeconds = (times.back() - times.front()) / static_cast<double>(times.size() - 1);
  trial.boards.resize(static_cast<size_t>(boards));
  for (size_t k = 0; k < trial.rows.size(); ++k) {
    trial.rows[k].number = static_cast<long>(k);
    trial.rows[k].seconds = times[k] - times.front();
  }
  return true;
}

}  // namespace kymhost
