#include "files/recording_file.h"

#include "files/capture_reader.h"
#include "files/edf_format.h"
#include "files/edf_reader.h"
#include "files/xdf_format.h"
#include "files/xdf_reader.h"
#include "recording/force_plate_exports.h"
#include "recording/text_file.h"
#include "recording/text_lines.h"

#include <cstdio>
#include <cstring>

namespace kymhost {

namespace {

bool ReadTable(const std::string& path, const ReadSettings& settings, TimedTrial& trial, std::string& error) {
  recording::TrialInfo info;
  TimedTrialSink sink(trial);
  if (!recording::ReadTrialSamples(path, settings.axes, info, sink, error)) return false;
  trial.label = LabelOf(info.comments);
  return true;
}

enum class Kind { kTable, kNexus, kSixColumns, kEdf, kXdf, kCapture };

constexpr char kEdfVersion[] = "0       ";
constexpr size_t kFirstBytes = 8;

// What the file is, from its first bytes and its first line that is not blank.
bool KindOf(const std::string& path, Kind& kind, std::string& error) {
  recording::File file = recording::OpenForReading(path, error);
  if (!file) return false;
  char first[kFirstBytes] = {};
  size_t got = std::fread(first, 1, sizeof first, file.get());
  std::string_view start(first, got);
  kind = Kind::kTable;
  if (start.substr(0, std::strlen(xdf::kMagic)) == xdf::kMagic) kind = Kind::kXdf;
  if (start == kEdfVersion || start == edf::kBdf.version) kind = Kind::kEdf;
  if (kind != Kind::kTable) return true;
  std::rewind(file.get());
  recording::TextLines lines(file.get());
  std::string_view line;
  while (lines.Next(line)) {
    if (line.find_first_not_of(" \t,;") == std::string_view::npos) continue;
    if (recording::IsNexusDevices(line)) kind = Kind::kNexus;
    if (recording::IsSixColumnExport(line)) kind = Kind::kSixColumns;
    if (IsCapture(line)) kind = Kind::kCapture;
    break;
  }
  return true;
}

}  // namespace

bool ReadRecordingFile(const std::string& path, const ReadSettings& settings, TimedTrial& trial, std::string& error) {
  trial = TimedTrial{};
  Kind kind = Kind::kTable;
  if (!KindOf(path, kind, error)) return false;
  TimedTrialSink sink(trial);
  switch (kind) {
    case Kind::kNexus: return recording::ReadNexusDevices(path, settings.axes, settings.plate, sink, error);
    case Kind::kSixColumns:
      return recording::ReadSixColumnExport(path, settings.axes, settings.rateHz, settings.plateDepthMm, sink, error);
    case Kind::kEdf: return ReadEdfFile(path, settings.plate, trial, error);
    case Kind::kXdf: return ReadXdfFile(path, settings.plate, trial, error);
    case Kind::kCapture: return ReadCaptureFile(path, trial, error);
    default: return ReadTable(path, settings, trial, error);
  }
}

}  // namespace kymhost
