#include "files/edf_writer.h"

#include "files/fixed_format.h"
#include "files/local_time.h"
#include "files/text_file.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace kymhost {

namespace {

constexpr char kUnknown[] = "X";  // EDF+'s word for a subfield that is not known
constexpr char kMonths[12][4] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN", "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
constexpr char kEquipment[] = "Wii_Balance_Board";
constexpr int kEarliestYear = 1985, kLatestYear = 2084;  // what the two-digit year covers

// A header field: printable ASCII only, cut or padded with blanks to its width.
std::string Field(std::string text, size_t width) {
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7e) c = '_';
  text.resize(width, ' ');
  return text;
}

// An EDF+ subfield: one word, blanks as underscores.
std::string Subfield(std::string text) {
  std::replace(text.begin(), text.end(), ' ', '_');
  return text.empty() ? kUnknown : text;
}

// Seconds in the fewest digits that say them exactly enough for a frame: "12.34".
std::string Onset(double seconds) {
  std::string text = Fixed(seconds, 4);
  text.erase(text.find_last_not_of('0') + 1);
  if (text.back() == '.') text.pop_back();
  return (seconds < 0 ? "" : "+") + text;
}

std::string TalText(std::string text) {
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 0x20 && c != '\t') c = ' ';
  return text;
}

std::string Number(double value) {
  std::string text = Onset(value);
  return text[0] == '+' ? text.substr(1) : text;
}

}  // namespace

bool EdfWriter::Start(const RunStart& start) {
  if (!file_.Open(path_)) {
    std::fprintf(stderr, "kymhost: cannot write %s\n", path_.c_str());
    return false;
  }
  boards_ = std::max<int>(1, static_cast<int>(start.boards.size()));
  periodSeconds_ = start.periodSeconds;
  samplesPerRecord_ = std::max(1, static_cast<int>(std::lround(edf::kSecondsPerRecord / periodSeconds_)));
  recordSeconds_ = samplesPerRecord_ * periodSeconds_;
  sending_.assign(static_cast<size_t>(boards_), true);
  record_.assign(static_cast<size_t>(boards_ * edf::kSignalsPerBoard), std::vector<int32_t>(samplesPerRecord_));
  int signals = boards_ * edf::kSignalsPerBoard + 1;

  // An unknown start is the start of EDF's calendar, as anonymised files have it: readers refuse
  // an unknown date in the recording's field.
  std::string date = "01.01.85", time = "00.00.00", startdate = "01-JAN-1985";
  if (start.wallClock != 0) {
    std::tm local = LocalTime(start.wallClock);
    int year = local.tm_year + 1900;
    char text[64];  // room for any int, which the compiler cannot rule out
    std::snprintf(text, sizeof text, "%02d.%02d.%02d", local.tm_mday, local.tm_mon + 1, year % 100);
    date = year >= kEarliestYear && year <= kLatestYear ? text : "01.01.yy";
    std::snprintf(text, sizeof text, "%02d.%02d.%02d", local.tm_hour, local.tm_min, local.tm_sec);
    time = text;
    std::snprintf(text, sizeof text, "%02d-%s-%04d", local.tm_mday, kMonths[local.tm_mon], year);
    startdate = text;
  }
  std::string recording = "Startdate " + startdate + " " + kUnknown + " " + kUnknown + " " + kEquipment;
  if (!start.label.empty()) recording += " " + Subfield(start.label);
  const std::string main[edf::kMainFields] = {
      flavour_.version, "X X X X", recording, date, time,
      std::to_string(edf::kMainHeaderBytes + edf::kSignalHeaderBytes * static_cast<size_t>(signals)),
      flavour_.reserved, "-1", Number(recordSeconds_), std::to_string(signals)};
  // BDF's version is the one field outside ASCII.
  std::string header = std::string(flavour_.version).append(edf::kMainFieldWidth[edf::kVersion] - std::strlen(flavour_.version), ' ');
  for (int f = edf::kVersion + 1; f < edf::kMainFields; ++f) header += Field(main[f], edf::kMainFieldWidth[f]);

  // The signal fields come field by field: every label, then every transducer, and so on.
  std::vector<std::vector<std::string>> fields(edf::kSignalFields);
  for (int b = 0; b < boards_; ++b) {
    std::string prefix = boards_ > 1 ? "b" + std::to_string(b + 1) + " " : "";
    for (const edf::Signal& s : edf::kBoardSignals) {
      const std::string values[edf::kSignalFields] = {
          prefix + s.label, s.transducer, s.dimension, Number(s.physicalMin), Number(s.physicalMax),
          std::to_string(flavour_.digitalMinimum), std::to_string(flavour_.digitalMaximum), "",
          std::to_string(samplesPerRecord_), ""};
      for (int f = 0; f < edf::kSignalFields; ++f) fields[static_cast<size_t>(f)].push_back(values[f]);
    }
  }
  const std::string annotations[edf::kSignalFields] = {
      flavour_.annotationLabel, "", "", "-1", "1", std::to_string(flavour_.digitalMinimum),
      std::to_string(flavour_.digitalMaximum), "",
      std::to_string(edf::kAnnotationBytes / static_cast<size_t>(flavour_.sampleBytes)), ""};
  for (int f = 0; f < edf::kSignalFields; ++f) fields[static_cast<size_t>(f)].push_back(annotations[f]);
  for (int f = 0; f < edf::kSignalFields; ++f)
    for (const std::string& value : fields[static_cast<size_t>(f)]) header += Field(value, edf::kSignalFieldWidth[f]);
  file_.Write(header);
  return true;
}

void EdfWriter::AddSample(int signal, double value) {
  const edf::Signal& s = edf::kBoardSignals[signal % edf::kSignalsPerBoard];
  double span = static_cast<double>(flavour_.digitalMaximum) - flavour_.digitalMinimum;
  double digital = (value - s.physicalMin) * span / (s.physicalMax - s.physicalMin) + flavour_.digitalMinimum;
  if (!std::isfinite(digital)) digital = 0;
  digital = std::clamp(std::round(digital), static_cast<double>(edf::NoFrame(flavour_)) + 1,
                       static_cast<double>(flavour_.digitalMaximum));
  record_[static_cast<size_t>(signal)][static_cast<size_t>(inRecord_)] = static_cast<int32_t>(digital);
}

void EdfWriter::AddRow(const FrameRow& row) {
  for (int b = 0; b < boards_; ++b) {
    const BoardFrame& part = row.board[static_cast<size_t>(b)];
    if (b >= row.boards || !part.present) {
      for (int s = 0; s < edf::kSignalsPerBoard; ++s)
        record_[static_cast<size_t>(b * edf::kSignalsPerBoard + s)][static_cast<size_t>(inRecord_)] = edf::NoFrame(flavour_);
      continue;
    }
    const FrameKg& f = part.kg;
    const double values[edf::kSignalsPerBoard] = {f.channel[0], f.channel[1], f.channel[2], f.channel[3],
                                                  f.Total(),    f.CopXmm(),   f.CopYmm()};
    for (int s = 0; s < edf::kSignalsPerBoard; ++s) AddSample(b * edf::kSignalsPerBoard + s, values[s]);
  }
  if (++inRecord_ == samplesPerRecord_) EndRecord();
}

void EdfWriter::Frame(const FrameRow& row) {
  if (!file_.IsOpen()) return;
  // Where a board's frames stop or come again is said, so that a reader sees why its signals
  // stand at their minimum.
  for (int b = 0; boards_ > 1 && b < boards_; ++b) {
    bool present = b < row.boards && row.board[static_cast<size_t>(b)].present;
    if (present == sending_[static_cast<size_t>(b)]) continue;
    sending_[static_cast<size_t>(b)] = present;
    Message(row.seconds, "Board " + std::to_string(b + 1) + (present ? ": frames again" : ": no frames"));
  }
  AddRow(row);
  ++rows_;
}

void EdfWriter::Message(double seconds, const std::string& text) {
  annotations_.push_back(Onset(seconds) + edf::kTalSeparator + TalText(text) + edf::kTalSeparator + '\0');
}

void EdfWriter::EndRecord() {
  bytes_.clear();
  for (const std::vector<int32_t>& signal : record_)
    for (int32_t value : signal)
      for (int b = 0; b < flavour_.sampleBytes; ++b) bytes_ += static_cast<char>(static_cast<uint32_t>(value) >> (8 * b));
  std::string lists = Onset(static_cast<double>(records_) * recordSeconds_) + edf::kTalSeparator +
                      edf::kTalSeparator + '\0';
  while (!annotations_.empty() && lists.size() + annotations_.front().size() <= edf::kAnnotationBytes) {
    lists += annotations_.front();
    annotations_.pop_front();
  }
  // A list too long for any record loses the end of its text, not its place.
  if (!annotations_.empty() && annotations_.front().size() > edf::kAnnotationBytes - lists.size() &&
      lists.size() == Onset(static_cast<double>(records_) * recordSeconds_).size() + 3) {
    std::string& list = annotations_.front();
    list.resize(edf::kAnnotationBytes - lists.size() - 2);
    list += edf::kTalSeparator;
    list += '\0';
    lists += list;
    annotations_.pop_front();
  }
  lists.resize(edf::kAnnotationBytes, '\0');
  bytes_ += lists;
  file_.Write(bytes_);
  ++records_;
  inRecord_ = 0;
}

bool EdfWriter::Finish() {
  if (!file_.IsOpen()) return true;
  if (inRecord_ > 0 || !annotations_.empty()) {
    Message(static_cast<double>(rows_) * periodSeconds_, edf::kRecordingEnds);
    FrameRow none;
    none.boards = 0;  // no board's frame
    while (inRecord_ > 0 || !annotations_.empty()) AddRow(none);
  }
  return Reported(file_.Close(edf::kRecordsFieldOffset, Field(std::to_string(records_), 8)), flavour_.name, path_);
}

}  // namespace kymhost
