// Ordinary files, made new and written synchronously: the one kind the plug-in writes (its
// report capture, when the environment asks for one). Paths are UTF-8 on this side.
#include "platform/posix/disk_files.h"
#include "platform/posix/kernel.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <unistd.h>

namespace posix {

namespace {

std::string Utf8(const wchar_t* text) {
  std::string out;
  for (; *text; ++text) {
    auto c = static_cast<uint32_t>(*text);
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | c >> 6);
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | c >> 12);
      out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | c >> 18);
      out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
      out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

DWORD ErrorFor(int code) {
  switch (code) {
    case ENOENT:
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR: return ERROR_ACCESS_DENIED;
    default: return ERROR_WRITE_FAULT;
  }
}

class DiskFile : public KernelObject {
 public:
  explicit DiskFile(int descriptor) : descriptor_(descriptor) {}
  ~DiskFile() override { close(descriptor_); }
  int Descriptor() const { return descriptor_; }

 private:
  int descriptor_;
};

}  // namespace

HANDLE CreateDiskFile(const wchar_t* path) {
  int descriptor = open(Utf8(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (descriptor < 0) {
    SetLastError(ErrorFor(errno));
    return INVALID_HANDLE_VALUE;
  }
  return AddHandle(std::make_shared<DiskFile>(descriptor));
}

bool WriteDiskFile(HANDLE file, const void* buffer, DWORD bytes, DWORD* written) {
  auto disk = LookUpAs<DiskFile>(file);
  if (!disk) return false;
  const char* at = static_cast<const char*>(buffer);
  DWORD done = 0;
  while (done < bytes) {
    ssize_t n = write(disk->Descriptor(), at + done, bytes - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      SetLastError(n < 0 ? ErrorFor(errno) : ERROR_WRITE_FAULT);
      break;
    }
    done += static_cast<DWORD>(n);
  }
  if (written) *written = done;
  return done == bytes;
}

}  // namespace posix

DWORD GetEnvironmentVariableW(LPCWSTR name, LPWSTR buffer, DWORD size) {
  const char* value = name ? std::getenv(posix::Utf8(name).c_str()) : nullptr;
  if (!value) {
    SetLastError(ERROR_ENVVAR_NOT_FOUND);
    return 0;
  }
  // One character for each byte: values here are what a test or a shell put there.
  size_t length = std::strlen(value);
  if (!buffer || size <= length) return static_cast<DWORD>(length + 1);
  for (size_t i = 0; i <= length; ++i) buffer[i] = static_cast<unsigned char>(value[i]);
  return static_cast<DWORD>(length);
}

BOOL WriteFile(HANDLE file, const void* buffer, DWORD bytesToWrite, LPDWORD bytesWritten, LPOVERLAPPED overlapped) {
  if (overlapped || (!buffer && bytesToWrite > 0)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (bytesWritten) *bytesWritten = 0;
  if (!posix::LookUpAs<posix::KernelObject>(file)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return posix::WriteDiskFile(file, buffer, bytesToWrite, bytesWritten) ? TRUE : FALSE;
}
