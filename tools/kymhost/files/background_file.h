// A file that a thread of its own writes: the recording loop hands it bytes and never waits on
// the disk, which may stall for a moment (a USB stick, a network share, a virus scanner).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace kymhost {

class BackgroundFile {
 public:
  BackgroundFile() = default;
  ~BackgroundFile();
  BackgroundFile(const BackgroundFile&) = delete;
  BackgroundFile& operator=(const BackgroundFile&) = delete;

  // How the file is opened: bytes as they are, or text, whose line ends are the system's (CR LF
  // on Windows, as a spreadsheet there expects of a CSV).
  enum class Mode { kBinary, kText };
  // Creates the file, on the caller's thread so that one that cannot be made is said at once.
  bool Open(const std::string& path, Mode mode = Mode::kBinary);
  bool IsOpen() const { return file_ != nullptr; }
  // Appends bytes; holds a lock only to add them to what waits to be written.
  void Write(std::string_view bytes);
  // Writes all that waits, then bytes over the file's own at offset (a header's count), and
  // closes it. False when any of it could not be written.
  bool Close(uint64_t patchOffset = 0, std::string_view patch = {});

 private:
  void WriteBehind();

  std::FILE* file_ = nullptr;
  std::thread writer_;
  std::mutex lock_;  // guards what follows; never held across a write to the file
  std::condition_variable due_;
  std::string pending_;
  bool closing_ = false;
  bool overflowed_ = false;
  bool failed_ = false;  // the writer's alone until it is joined
};

}  // namespace kymhost
