// What kymhost's EDF+ and BDF+ files hold, for their writer and their reader: the header's fields,
// the signals of each board, and the annotations (European Data Format: Kemp et al. 1992; EDF+:
// Kemp and Olivan 2003; BDF+: its 24-bit form, as EDFlib and EDFbrowser read it).
#pragma once

#include <cstddef>
#include <cstdint>

namespace kymhost {
namespace edf {

// 16-bit EDF+ or 24-bit BDF+.
struct Flavour {
  int sampleBytes;
  int32_t digitalMinimum;
  int32_t digitalMaximum;
  const char* version;     // the header's first field
  const char* reserved;    // its reserved field: continuous recording
  const char* annotationLabel;
  const char* name;
};
constexpr Flavour kEdf{2, -32768, 32767, "0", "EDF+C", "EDF Annotations", "EDF+ file"};
constexpr Flavour kBdf{3, -8388608, 8388607, "\xff" "BIOSEMI", "BDF+C", "BDF Annotations", "BDF+ file"};

// The header record: 256 bytes, then 256 for each signal, every field ASCII padded with blanks.
constexpr size_t kMainHeaderBytes = 256;
constexpr size_t kSignalHeaderBytes = 256;
enum MainField { kVersion, kPatient, kRecording, kStartDate, kStartTime, kHeaderBytes, kReserved, kRecords,
                 kRecordDuration, kSignalCount, kMainFields };
constexpr size_t kMainFieldWidth[kMainFields] = {8, 80, 80, 8, 8, 8, 44, 8, 8, 4};
constexpr size_t kRecordsFieldOffset = 236;  // where the number of data records is, patched at the end
enum SignalField { kLabel, kTransducer, kDimension, kPhysicalMin, kPhysicalMax, kDigitalMin, kDigitalMax,
                   kPrefiltering, kSamplesPerRecord, kSignalReserved, kSignalFields };
constexpr size_t kSignalFieldWidth[kSignalFields] = {16, 80, 8, 8, 8, 8, 8, 80, 8, 32};

// A board's signals, in this order; with several boards, each label starts "bN " (board N).
struct Signal {
  const char* label;
  const char* dimension;
  double physicalMin;
  double physicalMax;
  const char* transducer;
};
// A corner reads at most 75 kg either way (the plug-in's full scale); 300 mm is past any board's edge.
constexpr Signal kBoardSignals[] = {
    {"top left", "kg", -75, 75, "Wii Balance Board load sensor"},
    {"bottom left", "kg", -75, 75, "Wii Balance Board load sensor"},
    {"top right", "kg", -75, 75, "Wii Balance Board load sensor"},
    {"bottom right", "kg", -75, 75, "Wii Balance Board load sensor"},
    {"total", "kg", -300, 300, "sum of the four load sensors"},
    {"CoP x", "mm", -300, 300, "centre of pressure from the four sensors, to the right"},
    {"CoP y", "mm", -300, 300, "centre of pressure from the four sensors, to the front"},
};
constexpr int kSignalsPerBoard = 7;
constexpr int kCornerSignals = 4;

// One data record a second; the annotation signal's room in each.
constexpr double kSecondsPerRecord = 1.0;
constexpr size_t kAnnotationBytes = 240;

// Time-stamped annotation lists: "+onset" 0x14 text 0x14 0x00 ("+onset" 0x15 duration ... with a
// duration); a record's first list has no text and keeps the record's time.
constexpr char kTalSeparator = 0x14;
constexpr char kTalDuration = 0x15;
// Said where the last data record is filled out to its end with samples that are no frame's.
constexpr char kRecordingEnds[] = "Recording ends";
// A board's frame that did not come is written as the digital minimum in each of its signals,
// which no frame's sample takes (they are kept at least one step above it): never a stale value
// or a made-up one. A reader skips a sample whose signals all stand there.
constexpr int32_t NoFrame(const Flavour& flavour) { return flavour.digitalMinimum; }

}  // namespace edf
}  // namespace kymhost
