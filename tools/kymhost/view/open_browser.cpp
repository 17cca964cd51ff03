// Opening the view in the user's browser, for --view-open.
#include "view/live_view.h"

#include <cstdio>
#include <cstdlib>

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#else
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

namespace kymhost {

#ifdef _WIN32

bool OpenInBrowser(const std::string& address) {
  std::wstring wide(address.begin(), address.end());  // the address is ASCII
  // ShellExecute's result is greater than 32 on success.
  auto result = reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, L"open", wide.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
  if (result > 32) return true;
  std::fprintf(stderr, "kymhost: cannot open a browser (error %d): open %s yourself\n", static_cast<int>(result),
               address.c_str());
  return false;
}

#else

namespace {
// The shell starts xdg-open in the background and returns at once: kymhost waits for the shell
// alone, and whatever browser starts is no child of kymhost's.
constexpr char kOpener[] = "command -v xdg-open >/dev/null 2>&1 || exit 127; xdg-open \"$1\" </dev/null >/dev/null 2>&1 &";
constexpr int kNoOpener = 127;
}  // namespace

bool OpenInBrowser(const std::string& address) {
  // Without a desktop, xdg-open would start a text browser on kymhost's terminal.
  if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) {
    std::fprintf(stderr, "kymhost: no desktop to open a browser on: open %s yourself\n", address.c_str());
    return false;
  }
  std::string shell = "/bin/sh", flag = "-c", script = kOpener, name = "kymhost-open", url = address;
  char* argv[] = {shell.data(), flag.data(), script.data(), name.data(), url.data(), nullptr};
  pid_t pid = -1;
  int status = 0;
  if (posix_spawn(&pid, shell.c_str(), nullptr, nullptr, argv, environ) != 0 || waitpid(pid, &status, 0) != pid ||
      !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    bool missing = WIFEXITED(status) && WEXITSTATUS(status) == kNoOpener;
    std::fprintf(stderr, "kymhost: cannot open a browser%s: open %s yourself\n", missing ? " (no xdg-open)" : "",
                 address.c_str());
    return false;
  }
  return true;
}

#endif

}  // namespace kymhost
