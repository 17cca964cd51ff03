#include "files/edf_reader.h"

#include "files/edf_format.h"
#include "recording/text_fields.h"
#include "recording/text_file.h"
#include "recording/trial_columns.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <vector>

namespace kymhost {

namespace {

constexpr int kMostSignals = 4096;
constexpr long kMostSamplesPerRecord = 1 << 20;
constexpr size_t kMostRecordBytes = 64u << 20;
constexpr char kMarkerPrefix[] = "Marker ";

struct SignalHeader {
  std::string label, dimension;
  double physicalMin = 0, physicalMax = 0;
  double digitalMin = 0, digitalMax = 0;
  long samples = 0;
  size_t offset = 0;  // of its first byte in a record
  bool annotations = false;
};

class Header {
 public:
  Header(const std::string& name, std::string& error) : name_(name), error_(error) {}
  bool Fail(size_t at, const std::string& what) {
    error_ = name_ + ": byte " + std::to_string(at) + ": " + what;
    return false;
  }
  bool Number(const std::string& field, size_t at, const char* what, double& value) {
    std::string_view text = recording::TrimmedView(field, " ");
    if (!recording::ReadDecimal(text, false, value)) return Fail(at, what + std::string(" '") + std::string(text) + "' is not a number");
    return true;
  }

 private:
  const std::string& name_;
  std::string& error_;
};

int32_t Sample(const unsigned char* bytes, int width) {
  uint32_t value = 0;
  for (int b = 0; b < width; ++b) value |= static_cast<uint32_t>(bytes[b]) << (8 * b);
  uint32_t sign = 1u << (8 * width - 1);
  return static_cast<int32_t>(value ^ sign) - static_cast<int32_t>(sign);
}

// The label EDF+ keeps after the recording field's four subfields, blanks restored.
std::string LabelOf(const std::string& recording) {
  std::vector<std::string_view> words;
  recording::Split(recording::TrimmedView(recording, " "), recording::kSpaces, words);
  std::string label;
  for (size_t i = 5; i < words.size(); ++i) label += (label.empty() ? "" : " ") + std::string(words[i]);
  std::replace(label.begin(), label.end(), '_', ' ');
  return words.size() > 5 && words[0] == "Startdate" ? label : "";
}

struct Annotation {
  double onset;
  std::string text;
};

// The lists of one annotation signal's bytes; the record's time from its first, empty one.
void ReadLists(std::string_view bytes, std::vector<Annotation>& annotations, double& recordStart, bool& timed) {
  timed = false;
  while (!bytes.empty() && (bytes[0] == '+' || bytes[0] == '-')) {
    size_t end = bytes.find('\0');
    std::string_view list = bytes.substr(0, end);
    bytes = end == std::string_view::npos ? std::string_view() : bytes.substr(end + 1);
    size_t onsetEnd = list.find_first_of(std::string_view("\x14\x15", 2));
    double onset = 0;
    if (onsetEnd == std::string_view::npos || !recording::ReadDecimal(list.substr(list[0] == '+', onsetEnd - (list[0] == '+')), false, onset))
      continue;
    size_t textStart = list.find(edf::kTalSeparator, onsetEnd);
    bool first = true;
    while (textStart != std::string_view::npos && textStart + 1 < list.size()) {
      size_t textEnd = list.find(edf::kTalSeparator, textStart + 1);
      std::string_view text = list.substr(textStart + 1, textEnd == std::string_view::npos ? std::string_view::npos : textEnd - textStart - 1);
      if (text.empty() && first && !timed) {
        recordStart = onset;
        timed = true;
      } else if (!text.empty()) {
        annotations.push_back({onset, std::string(text)});
      }
      first = false;
      textStart = textEnd;
    }
  }
}

}  // namespace

bool ReadEdfFile(const std::string& path, int board, TimedTrial& trial, std::string& error) {
  recording::File file = recording::OpenForReading(path, error);
  if (!file) return false;
  Header check(path, error);
  std::string main(edf::kMainHeaderBytes, '\0');
  if (std::fread(&main[0], 1, main.size(), file.get()) != main.size()) return check.Fail(0, "the header ends early");
  std::string fields[edf::kMainFields];
  size_t at = 0, fieldAt[edf::kMainFields];
  for (int f = 0; f < edf::kMainFields; ++f) {
    fieldAt[f] = at;
    fields[f] = main.substr(at, edf::kMainFieldWidth[f]);
    at += edf::kMainFieldWidth[f];
  }
  bool bdf = static_cast<unsigned char>(main[0]) == 0xff;
  const edf::Flavour& flavour = bdf ? edf::kBdf : edf::kEdf;
  double count = 0, records = 0, duration = 0;
  if (!check.Number(fields[edf::kSignalCount], fieldAt[edf::kSignalCount], "the number of signals", count) ||
      !check.Number(fields[edf::kRecords], fieldAt[edf::kRecords], "the number of data records", records) ||
      !check.Number(fields[edf::kRecordDuration], fieldAt[edf::kRecordDuration], "the duration of a data record", duration))
    return false;
  if (count < 1 || count > kMostSignals || count != std::floor(count))
    return check.Fail(fieldAt[edf::kSignalCount], "there cannot be " + fields[edf::kSignalCount] + " signals");
  if (!(duration > 0)) return check.Fail(fieldAt[edf::kRecordDuration], "a data record must last some time");
  size_t signals = static_cast<size_t>(count);
  std::string rest(edf::kSignalHeaderBytes * signals, '\0');
  if (std::fread(&rest[0], 1, rest.size(), file.get()) != rest.size())
    return check.Fail(edf::kMainHeaderBytes, "the signals' header ends early");

  std::vector<SignalHeader> headers(signals);
  size_t offset = 0, recordBytes = 0;
  at = 0;
  for (int f = 0; f < edf::kSignalFields; ++f) {
    for (size_t s = 0; s < signals; ++s, at += edf::kSignalFieldWidth[f]) {
      std::string value = rest.substr(at, edf::kSignalFieldWidth[f]);
      size_t where = edf::kMainHeaderBytes + at;
      SignalHeader& h = headers[s];
      double number = 0;
      switch (f) {
        case edf::kLabel: h.label = std::string(recording::TrimmedView(value, " ")); break;
        case edf::kDimension: h.dimension = std::string(recording::TrimmedView(value, " ")); break;
        case edf::kPhysicalMin: if (!check.Number(value, where, "a physical minimum", h.physicalMin)) return false; break;
        case edf::kPhysicalMax: if (!check.Number(value, where, "a physical maximum", h.physicalMax)) return false; break;
        case edf::kDigitalMin: if (!check.Number(value, where, "a digital minimum", h.digitalMin)) return false; break;
        case edf::kDigitalMax: if (!check.Number(value, where, "a digital maximum", h.digitalMax)) return false; break;
        case edf::kSamplesPerRecord:
          if (!check.Number(value, where, "a number of samples", number)) return false;
          if (number < 1 || number > kMostSamplesPerRecord || number != std::floor(number))
            return check.Fail(where, "a signal cannot have " + std::string(recording::TrimmedView(value, " ")) + " samples a record");
          h.samples = static_cast<long>(number);
          break;
        default: break;
      }
    }
  }
  for (SignalHeader& h : headers) {
    h.annotations = h.label == flavour.annotationLabel;
    h.offset = offset;
    offset += static_cast<size_t>(h.samples) * static_cast<size_t>(flavour.sampleBytes);
    if (!h.annotations && !(h.digitalMax > h.digitalMin))
      return check.Fail(edf::kMainHeaderBytes, "the signal '" + h.label + "' has no digital range");
  }
  recordBytes = offset;
  if (recordBytes > kMostRecordBytes) return check.Fail(edf::kMainHeaderBytes, "a data record of more than 64 MiB");

  // The board's signals, by the names the CSV reader knows: "b2 top left" for board 2 of several.
  bool several = std::any_of(headers.begin(), headers.end(), [](const SignalHeader& h) { return h.label.rfind("b1 ", 0) == 0; });
  std::string prefix = several ? "b" + std::to_string(board) + " " : "";
  std::vector<std::string> names;
  for (const SignalHeader& h : headers)
    names.push_back(h.label.rfind(prefix, 0) == 0 && !h.annotations ? h.label.substr(prefix.size()) + "[" + h.dimension + "]" : "");
  recording::Columns columns;
  std::string why;
  if (!recording::ReadHeader(names, columns, why)) return check.Fail(edf::kMainHeaderBytes, why);
  using recording::Quantity;
  const Quantity corners[kChannels] = {recording::kTopLeft, recording::kBottomLeft, recording::kTopRight, recording::kBottomRight};
  bool hasCorners = std::all_of(std::begin(corners), std::end(corners), [&](Quantity q) { return columns.of[q].index >= 0; });
  bool hasCentre = columns.of[recording::kLoad].index >= 0 && columns.of[recording::kCopX].index >= 0 && columns.of[recording::kCopY].index >= 0;
  if (!hasCorners && !hasCentre)
    return check.Fail(edf::kMainHeaderBytes, (several || board > 1 ? "no board " + std::to_string(board) + ": " : std::string()) +
                                                 "no signals of a board's corners, or of a total and a centre of pressure");
  std::vector<size_t> used;
  std::vector<double> scales;
  std::vector<Quantity> quantities(std::begin(corners), std::end(corners));
  if (!hasCorners) quantities = {recording::kLoad, recording::kCopX, recording::kCopY};
  for (Quantity q : quantities) {
    used.push_back(static_cast<size_t>(columns.of[q].index));
    scales.push_back(columns.of[q].scale);
  }
  long perRecord = headers[used[0]].samples;
  for (size_t s : used)
    if (headers[s].samples != perRecord)
      return check.Fail(edf::kMainHeaderBytes, "the board's signals have different sample rates");

  trial.label = LabelOf(fields[edf::kRecording]);
  std::vector<Annotation> annotations;
  std::vector<unsigned char> record(recordBytes);
  double step = duration / static_cast<double>(perRecord);
  for (long r = 0; records < 0 || r < records; ++r) {
    size_t got = std::fread(record.data(), 1, recordBytes, file.get());
    if (got == 0 && records < 0) break;
    if (got != recordBytes) {
      error = path + ": data record " + std::to_string(r + 1) + " ends early";
      return false;
    }
    double start = static_cast<double>(r) * duration;
    for (const SignalHeader& h : headers) {
      bool timed = false;
      if (h.annotations)
        ReadLists(std::string_view(reinterpret_cast<const char*>(record.data() + h.offset), static_cast<size_t>(h.samples) * static_cast<size_t>(flavour.sampleBytes)),
                  annotations, start, timed);
    }
    for (long i = 0; i < perRecord; ++i) {
      double values[kChannels] = {};
      bool frame = false;  // a sample all of whose signals stand at their minimum is no frame
      for (size_t u = 0; u < used.size(); ++u) {
        const SignalHeader& h = headers[used[u]];
        double digital = Sample(record.data() + h.offset + static_cast<size_t>(i) * static_cast<size_t>(flavour.sampleBytes), flavour.sampleBytes);
        frame = frame || digital > h.digitalMin;
        double physical = (digital - h.digitalMin) * (h.physicalMax - h.physicalMin) / (h.digitalMax - h.digitalMin) + h.physicalMin;
        values[u] = physical * scales[u];
      }
      if (!frame) continue;
      FrameKg kg{};
      if (hasCorners)
        std::copy(values, values + kChannels, kg.channel);
      else
        kg = FrameKg::Of(values[0], values[1], values[2]);
      trial.Add(start + static_cast<double>(i) * step, kg, 0, 0);
    }
  }
  trial.lines.clear();
  // Padding after the recording's end goes; markers go on the sample nearest their onset.
  for (const Annotation& a : annotations) {
    if (a.text == edf::kRecordingEnds) {
      size_t keep = static_cast<size_t>(std::lower_bound(trial.seconds.begin(), trial.seconds.end(), a.onset - step / 2) - trial.seconds.begin());
      trial.seconds.resize(keep);
      trial.frames.resize(keep);
    }
  }
  for (const Annotation& a : annotations) {
    int number = 0;
    if (a.text.rfind(kMarkerPrefix, 0) != 0) continue;
    auto parsed = std::from_chars(a.text.data() + sizeof kMarkerPrefix - 1, a.text.data() + a.text.size(), number);
    if (parsed.ec != std::errc() || number <= 0 || trial.seconds.empty()) continue;
    size_t index = static_cast<size_t>(std::lower_bound(trial.seconds.begin(), trial.seconds.end(), a.onset - step / 2) - trial.seconds.begin());
    trial.markers.push_back({number, std::min(index, trial.seconds.size() - 1)});
  }
  std::sort(trial.markers.begin(), trial.markers.end(),
            [](const TrialMarker& a, const TrialMarker& b) { return a.index < b.index; });
  if (trial.seconds.empty()) {
    error = path + ": no samples";
    return false;
  }
  return true;
}

}  // namespace kymhost
