// kymhost: drives the plug-in through its thirteen exports, as the recording application does.
#include "plugin_library.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

enum ExitCode { kExitOk = 0, kExitUsage = 1, kExitNoBoard = 2, kExitPluginMissing = 3 };

std::string Narrow(const wchar_t* text) {
  std::string out;
  for (; text && *text; ++text) out += *text < 128 ? static_cast<char>(*text) : '?';
  return out;
}

std::string PluginMessage(PluginLibrary& plugin, int index) {
  int size = plugin.GetLastErrorMsg(index, nullptr);
  if (size <= 1) return {};
  std::vector<char> text(static_cast<size_t>(size) + 1, '\0');
  plugin.GetLastErrorMsg(index, text.data());
  return text.data();
}

void Usage() {
  std::puts("usage: kymhost [--plugin PATH]\n"
            "Finds a Wii Balance Board through the plug-in and reports what it found.\n"
            "Exit codes: 0 board found, 1 usage, 2 no board found, 3 plug-in cannot be loaded.");
}

}  // namespace

int main(int argc, char** argv) {
  std::string path = PluginLibrary::DefaultPath(argv[0]);
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--plugin") == 0 && i + 1 < argc) {
      path = argv[++i];
    } else {
      Usage();
      return std::strcmp(argv[i], "--help") == 0 ? kExitOk : kExitUsage;
    }
  }

  PluginLibrary plugin;
  if (!plugin.Load(path)) {
    std::fprintf(stderr, "kymhost: %s\n", plugin.error().c_str());
    return kExitPluginMissing;
  }

  DeviceClassInfo info{};
  plugin.GetDeviceClassInfo(&info);
  std::printf("Plug-in: %s (%s)\n", Narrow(info.deviceName).c_str(), Narrow(info.className).c_str());

  int index = -1;
  if (!plugin.FindDevice(&index)) {
    std::printf("No board found: %s\n", PluginMessage(plugin, -1).c_str());
    plugin.CloseAll();
    return kExitNoBoard;
  }
  std::printf("Found a board at index %d.\n", index);
  plugin.CloseAll();
  return kExitOk;
}
