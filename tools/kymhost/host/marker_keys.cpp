#include "host/marker_keys.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace kymhost {

namespace {
constexpr size_t kReadRoom = 256;
}  // namespace

int MarkerKeys::Count(const char* bytes, size_t size) const {
  int markers = 0;
  for (size_t i = 0; i < size; ++i) {
    char c = bytes[i];
    if (source_ == kLines)
      markers += c == '\n';
    else
      markers += c == '\r' || c == '\n' || c == 'm' || c == 'M';
  }
  return markers;
}

#ifdef _WIN32

namespace {
constexpr DWORD kConsoleImportMs = 100;
}  // namespace

struct MarkerKeys::Saved {};

MarkerKeys::MarkerKeys() {
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  DWORD mode = 0;
  if (input == nullptr || input == INVALID_HANDLE_VALUE) return;
  if (GetConsoleMode(input, &mode)) {
    // Keys pressed before the recording mark nothing. Wine's console behind a Unix terminal takes
    // in what was typed only once asked, a moment later: ask, give it that moment, then flush.
    INPUT_RECORD record;
    DWORD got = 0;
    PeekConsoleInputW(input, &record, 1, &got);
    WaitForSingleObject(input, kConsoleImportMs);  // at once where keys wait
    FlushConsoleInputBuffer(input);
    source_ = kTerminal;
  } else if (GetFileType(input) == FILE_TYPE_PIPE)
    source_ = kLines;
}

MarkerKeys::~MarkerKeys() = default;

int MarkerKeys::Take() {
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  char bytes[kReadRoom];
  size_t size = 0;
  if (source_ == kTerminal) {
    // The console's own input records: Wine's console behind a Unix terminal has them, where the
    // C runtime's _kbhit sees nothing.
    INPUT_RECORD records[kReadRoom / sizeof(INPUT_RECORD) + 1];
    DWORD got = 0;
    if (!PeekConsoleInputW(input, records, ARRAYSIZE(records), &got) || got == 0) return 0;
    if (!ReadConsoleInputW(input, records, got, &got)) return 0;
    for (DWORD i = 0; i < got && size < sizeof bytes; ++i) {
      const KEY_EVENT_RECORD& key = records[i].Event.KeyEvent;
      if (records[i].EventType == KEY_EVENT && key.bKeyDown && key.uChar.UnicodeChar < 0x80)
        bytes[size++] = static_cast<char>(key.uChar.UnicodeChar);
    }
  } else if (source_ == kLines) {
    // Wine cannot peek into a pipe from a Unix program (ERROR_NOT_SUPPORTED): no markers then,
    // rather than a read that blocks the recording.
    DWORD waiting = 0, got = 0;
    if (!PeekNamedPipe(input, nullptr, 0, nullptr, &waiting, nullptr)) {
      source_ = kNone;
      return 0;
    }
    if (waiting > 0 && ReadFile(input, bytes, waiting < sizeof bytes ? waiting : sizeof bytes, &got, nullptr))
      size = got;
  }
  return Count(bytes, size);
}

#else

struct MarkerKeys::Saved {
  termios settings;
};

MarkerKeys::MarkerKeys() {
  struct stat status {};
  if (fstat(STDIN_FILENO, &status) != 0 || S_ISREG(status.st_mode)) return;  // a file is no keyboard
  if (!isatty(STDIN_FILENO)) {
    source_ = kLines;
    return;
  }
  // Only the foreground may touch the terminal: a background job would be stopped for it.
  termios settings{};
  if (tcgetpgrp(STDIN_FILENO) != getpgrp() || tcgetattr(STDIN_FILENO, &settings) != 0) return;
  saved_ = std::make_unique<Saved>(Saved{settings});
  settings.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));  // Ctrl-C still interrupts
  settings.c_cc[VMIN] = 0;
  settings.c_cc[VTIME] = 0;
  tcsetattr(STDIN_FILENO, TCSAFLUSH, &settings);  // keys pressed before the recording mark nothing
  source_ = kTerminal;
}

MarkerKeys::~MarkerKeys() {
  if (saved_) tcsetattr(STDIN_FILENO, TCSANOW, &saved_->settings);
}

int MarkerKeys::Take() {
  if (source_ == kNone) return 0;
  pollfd input{STDIN_FILENO, POLLIN, 0};
  if (poll(&input, 1, 0) <= 0) return 0;
  char bytes[kReadRoom];
  ssize_t got = read(STDIN_FILENO, bytes, sizeof bytes);
  if (got <= 0) {
    source_ = kNone;  // end of input: no more markers will come
    return 0;
  }
  return Count(bytes, static_cast<size_t>(got));
}

#endif

}  // namespace kymhost
