// kymhost analyse's readers with arbitrary files: the first byte picks the kind (a table, a Nexus
// export, a six-column export, BDF+, EDF+, XDF or a capture, each given its own start so that
// the input reaches past the kind's check), the rest is the file. Every reader must end with
// samples or a message, never read past what the file holds or take without bound.
#include "files/edf_format.h"
#include "files/recorded_trial.h"
#include "files/recording_file.h"
#include "files/xdf_format.h"
#include "recording/capture_lines.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

namespace {

const std::string kStarts[] = {"",
                               "Devices\n1000\n,,a\nFrame,Sub Frame,Fz,Cx,Cy\n",
                               "",
                               "0       ",
                               kymhost::edf::kBdf.version,
                               kymhost::xdf::kMagic,
                               std::string(recording::kCaptureTitle) + "\n"};

std::string TempPath() { return "/tmp/recording_files_fuzzer_" + std::to_string(getpid()); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string path = TempPath();
  std::string bytes = kStarts[data[0] % (sizeof kStarts / sizeof kStarts[0])];
  bytes.append(reinterpret_cast<const char*>(data + 1), size - 1);
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return 0;
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);
  kymhost::ReadSettings settings;
  settings.rateHz = 100;
  settings.plate = 1 + data[0] / 64;
  kymhost::TimedTrial trial;
  std::string error;
  if (kymhost::ReadRecordingFile(path, settings, trial, error)) {
    kymhost::RecordedTrial recorded;
    kymhost::EvenFrames(trial, path, kymhost::Resampling{100, 0.25}, recorded, error);
  }
  std::remove(path.c_str());
  return 0;
}
