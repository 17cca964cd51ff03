#include "files/background_file.h"

#include <chrono>

namespace kymhost {

namespace {
// Written in blocks of about this much, or at least this often.
constexpr size_t kBlockBytes = 64 * 1024;
constexpr auto kWriteInterval = std::chrono::milliseconds(250);
// A disk that takes nothing for this much (minutes of several boards' frames) has failed.
constexpr size_t kMostPendingBytes = 256u << 20;
}  // namespace

BackgroundFile::~BackgroundFile() { Close(); }

bool BackgroundFile::Open(const std::string& path, Mode mode) {
  file_ = std::fopen(path.c_str(), mode == Mode::kText ? "w" : "wb");
  if (!file_) return false;
  writer_ = std::thread([this] { WriteBehind(); });
  return true;
}

void BackgroundFile::Write(std::string_view bytes) {
  if (!file_) return;
  bool wake;
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (pending_.size() + bytes.size() > kMostPendingBytes) {
      overflowed_ = true;
      return;
    }
    pending_.append(bytes);
    wake = pending_.size() >= kBlockBytes;
  }
  if (wake) due_.notify_one();
}

void BackgroundFile::WriteBehind() {
  std::string block;
  for (bool last = false; !last;) {
    {
      std::unique_lock<std::mutex> guard(lock_);
      due_.wait_for(guard, kWriteInterval, [this] { return closing_ || pending_.size() >= kBlockBytes; });
      block.swap(pending_);
      last = closing_;
    }
    if (!block.empty() && std::fwrite(block.data(), 1, block.size(), file_) != block.size()) failed_ = true;
    block.clear();
  }
}

bool BackgroundFile::Close(uint64_t patchOffset, std::string_view patch) {
  if (!file_) return true;
  {
    std::lock_guard<std::mutex> guard(lock_);
    closing_ = true;
  }
  due_.notify_one();
  writer_.join();
  bool written = !failed_ && !overflowed_;
  if (!patch.empty())
    written = std::fseek(file_, static_cast<long>(patchOffset), SEEK_SET) == 0 &&
              std::fwrite(patch.data(), 1, patch.size(), file_) == patch.size() && written;
  written = std::fclose(file_) == 0 && written;
  file_ = nullptr;
  return written;
}

}  // namespace kymhost
