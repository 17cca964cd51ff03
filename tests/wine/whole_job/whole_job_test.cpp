// The shipped plug-in doing its whole job under Wine: kernel32's overlapped reads, events,
// threads and loader lock, against the simulated world behind the stand-in system libraries.
// Through kymhost.exe, and through the exports in this process.
#include "../program_run.h"
#include "host/host_session.h"
#include "host/plugin_library.h"
#include "world_observation.h"

#include <windows.h>
#include <bluetoothapis.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr DWORD kLongestRunMs = 90'000;
constexpr int kStreamMs = 2000;
constexpr int kReadTimeoutMs = 100;
constexpr double kPersonKg = 70.0;
constexpr double kFramesPerSecond = 100.0;
constexpr uint64_t kDefaultBoardAddress = 0x0017ab3c4d5e;
constexpr char kTwoBoards[] = "two-boards.scenario";
constexpr char kPairedBoard[] = "standing-still.scenario";
// How long a close may take, whatever the driver does.
constexpr auto kLongestClose = std::chrono::seconds(2);
constexpr ULONGLONG kBlockingWriteMicros = 13'000'000;
constexpr ULONGLONG kNeverCancelled = ~0ULL;
constexpr char kFirstOfTwoSerial[] = "0017ab3c4d5e";
constexpr double kFirstOfTwoKg = 68.0;
// How long unloading the plug-in with a board streaming may take.
constexpr auto kLongestUnload = std::chrono::seconds(2);

std::string Scenario(const char* name) { return std::string(PLANKSCALE_SOURCE_DIR "/docs/scenarios/") + name; }

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(WholeJobKymhost, PairsOpensAndRecordsTheDefaultBoard) {
  ProgramRun run = RunProgram(L"kymhost.exe --seconds 3", kLongestRunMs);
  ASSERT_TRUE(run.finished) << run.output;
  EXPECT_EQ(run.exitCode, 0u) << run.output;
  EXPECT_TRUE(Contains(run.output, "Serial number:  0017ab3c4d5e")) << run.output;
  EXPECT_TRUE(Contains(run.output, " 70.0 kg ")) << run.output;
  EXPECT_TRUE(Contains(run.output, "Recorded 300 frames (3.00 s).")) << run.output;
  EXPECT_TRUE(Contains(run.output, "Board closed.")) << run.output;
}

TEST(WholeJobKymhost, EndsEachKindOfRunWithItsMessageAndCode) {
  struct Case {
    const char* scenario;
    DWORD exitCode;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"button-press.scenario", 0, {"Sampling stopped by user."}},
      {"flat-batteries.scenario", 5, {"Sampling stopped because of weak or missing batteries."}},
      {"power-off.scenario", 6,
       {"The host timed out waiting for a response from the device.", "The board was disconnected"}},
  };
  for (const Case& c : cases) {
    ProgramRun run = RunProgram(L"kymhost.exe --seconds 30", kLongestRunMs, Scenario(c.scenario));
    ASSERT_TRUE(run.finished) << c.scenario << "\n" << run.output;
    EXPECT_EQ(run.exitCode, c.exitCode) << c.scenario << "\n" << run.output;
    for (const std::string& line : c.lines) EXPECT_TRUE(Contains(run.output, line)) << c.scenario << "\n" << run.output;
  }
}

// Two boards on one timeline, each found by a search of its own: the person leans 60/40 on the left.
TEST(WholeJobKymhost, RecordsTwoBoardsWithTheirWeightBearing) {
  ProgramRun run = RunProgram(L"kymhost.exe --boards 2 --labels left,right --seconds 3", kLongestRunMs,
                              Scenario("weight-shift.scenario"));
  ASSERT_TRUE(run.finished) << run.output;
  EXPECT_EQ(run.exitCode, 0u) << run.output;
  EXPECT_TRUE(Contains(run.output, "Board 1, left (0017ab3c4d5e): ")) << run.output;
  EXPECT_TRUE(Contains(run.output, "Board 2, right (0019fd001122): ")) << run.output;
  EXPECT_TRUE(Contains(run.output, "Recorded 300 frames (3.00 s).")) << run.output;
  EXPECT_TRUE(Contains(run.output, "  Weight bearing      left ")) << run.output;
  EXPECT_TRUE(Contains(run.output, "Boards closed.")) << run.output;
}

// Reads frames for about this long; returns how many, with their mean total weight.
int Stream(kymhost::HostSession& session, int milliseconds, double& meanKg) {
  double sumKg = 0;
  int frames = 0;
  for (auto end = Clock::now() + std::chrono::milliseconds(milliseconds); Clock::now() < end;) {
    kymhost::StreamEvent event = session.ReadStream(kReadTimeoutMs);
    EXPECT_NE(event.kind, kymhost::StreamEvent::kAbort) << event.text;
    for (const auto& frame : event.frames) {
      for (double kg : frame.channel) sumKg += kg;
      ++frames;
    }
  }
  meanKg = frames ? sumKg / frames : 0.0;
  return frames;
}

// The default world's board, found, opened and streaming in this process.
class WholeJobExports : public ::testing::Test {
 protected:
  void SetUp() override {
    plugin_ = std::make_unique<PluginLibrary>();
    ASSERT_TRUE(plugin_->Load("PlankScale.kymdll")) << plugin_->error();
    ASSERT_EQ(plugin_->FindDevice(&index_), 1);
    ASSERT_EQ(plugin_->Initialise(index_), 1);
    session_ = std::make_unique<kymhost::HostSession>(*plugin_, index_);
    ASSERT_TRUE(session_->LoadScaling());
  }
  void TearDown() override {
    if (plugin_) plugin_->CloseAll();
  }

  std::unique_ptr<PluginLibrary> plugin_;
  std::unique_ptr<kymhost::HostSession> session_;
  int index_ = -1;
};

bool WorldIs(const char* scenario) {
  const char* named = std::getenv("PLANKSCALE_SIM");
  return named && Contains(named, scenario);
}

// A process builds its world once: a test that needs another world runs again, alone, in a
// process of its own whose world is the scenario's. True when it ran there; false in that process.
bool RanInAProcessOfItsOwn(const char* scenario, const wchar_t* filter) {
  if (WorldIs(scenario)) return false;
  wchar_t self[MAX_PATH];
  EXPECT_GT(GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
  ProgramRun run = RunProgram(std::wstring(L"\"") + self + L"\" --gtest_filter=" + filter, kLongestRunMs,
                              Scenario(scenario));
  EXPECT_TRUE(run.finished) << run.output;
  EXPECT_EQ(run.exitCode, 0u) << run.output;
  EXPECT_TRUE(Contains(run.output, "[  PASSED  ] 1 test")) << run.output;
  return true;
}

// This process's world is the default one; the test runs again in a process of its own whose
// world has two boards.
TEST(WholeJobTwoBoards, OpensTheBoardTheSearchNamedAndLeavesTheOther) {
  if (RanInAProcessOfItsOwn(kTwoBoards, L"WholeJobTwoBoards.*")) return;
  // One board per search: the first one the Bluetooth search sighted, never the other.
  PluginLibrary plugin;
  ASSERT_TRUE(plugin.Load("PlankScale.kymdll")) << plugin.error();
  int index = -1, other = -1;
  ASSERT_EQ(plugin.FindDevice(&index), 1);
  ASSERT_EQ(plugin.Initialise(index), 1);
  EXPECT_EQ(plugin.FindDevice(&other), 0) << "the other board is not the one the search named";
  kymhost::HostSession session(plugin, index);
  ASSERT_TRUE(session.LoadScaling());
  EXPECT_EQ(session.Query(">dev/serialnum"), kFirstOfTwoSerial);
  ASSERT_TRUE(session.Action(">in/sampler/start"));
  double meanKg = 0;
  EXPECT_GT(Stream(session, kStreamMs / 2, meanKg), 0);
  EXPECT_NEAR(meanKg, kFirstOfTwoKg, 1.0);
  EXPECT_TRUE(session.Action(">in/sampler/stop"));
  EXPECT_EQ(plugin.CloseAll(), 1);
}

TEST_F(WholeJobExports, StreamsAHundredFramesASecondOfTheWholePerson) {
  ASSERT_TRUE(session_->Action(">in/sampler/start"));
  double meanKg = 0;
  auto start = Clock::now();
  int frames = Stream(*session_, kStreamMs, meanKg);
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  EXPECT_NEAR(frames / seconds, kFramesPerSecond, 8.0) << frames << " frames in " << seconds << " s";
  EXPECT_NEAR(meanKg, kPersonKg, 1.0);
  EXPECT_TRUE(session_->Action(">in/sampler/stop"));
}

// Whether the stand-in Bluetooth stack still remembers the board.
bool BoardRemembered() {
  HMODULE bluetooth = LoadLibraryW(L"bthprops.cpl");
  if (!bluetooth) return false;
  auto findRadio = reinterpret_cast<decltype(&BluetoothFindFirstRadio)>(
      reinterpret_cast<void*>(GetProcAddress(bluetooth, "BluetoothFindFirstRadio")));
  auto findDevice = reinterpret_cast<decltype(&BluetoothFindFirstDevice)>(
      reinterpret_cast<void*>(GetProcAddress(bluetooth, "BluetoothFindFirstDevice")));
  auto nextDevice = reinterpret_cast<decltype(&BluetoothFindNextDevice)>(
      reinterpret_cast<void*>(GetProcAddress(bluetooth, "BluetoothFindNextDevice")));
  auto closeSearch = reinterpret_cast<decltype(&BluetoothFindDeviceClose)>(
      reinterpret_cast<void*>(GetProcAddress(bluetooth, "BluetoothFindDeviceClose")));
  auto closeRadios = reinterpret_cast<decltype(&BluetoothFindRadioClose)>(
      reinterpret_cast<void*>(GetProcAddress(bluetooth, "BluetoothFindRadioClose")));
  bool remembered = false;
  BLUETOOTH_FIND_RADIO_PARAMS radioParams{sizeof radioParams};
  HANDLE radio = nullptr;
  HBLUETOOTH_RADIO_FIND radios = findRadio ? findRadio(&radioParams, &radio) : nullptr;
  if (radios && findDevice && nextDevice && closeSearch) {
    BLUETOOTH_DEVICE_SEARCH_PARAMS search{};
    search.dwSize = sizeof search;
    search.fReturnAuthenticated = search.fReturnRemembered = search.fReturnConnected = TRUE;
    search.hRadio = radio;
    BLUETOOTH_DEVICE_INFO device{};
    device.dwSize = sizeof device;
    HBLUETOOTH_DEVICE_FIND devices = findDevice(&search, &device);
    for (bool more = devices != nullptr; more; more = nextDevice(devices, &device))
      if (device.Address.ullLong == kDefaultBoardAddress && device.fRemembered) remembered = true;
    if (devices) closeSearch(devices);
    CloseHandle(radio);
    closeRadios(radios);
  }
  FreeLibrary(bluetooth);
  return remembered;
}

TEST_F(WholeJobExports, KeepPairedOffRemovesThePairingAtTheClose) {
  ASSERT_TRUE(BoardRemembered()) << "the search paired the board";
  ASSERT_TRUE(session_->Action(">dev/bb_keepPaired 1"));
  EXPECT_EQ(plugin_->CloseAll(), 1);
  EXPECT_FALSE(BoardRemembered());
}

// Where a module's image lies, so that a thread can be told to be in it.
struct ImageRange {
  uintptr_t start = 0;
  uintptr_t end = 0;
  bool Holds(uintptr_t address) const { return address >= start && address < end; }
};

ImageRange RangeOf(HMODULE module) {
  auto base = reinterpret_cast<uintptr_t>(module);
  auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(module);
  auto nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + static_cast<uintptr_t>(dos->e_lfanew));
  return {base, base + nt->OptionalHeader.SizeOfImage};
}

// The instruction pointers of every other thread of this process, each caught suspended.
std::vector<uintptr_t> OtherThreadsInstructionPointers() {
  std::vector<uintptr_t> pointers;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return pointers;
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID != GetCurrentProcessId() || entry.th32ThreadID == GetCurrentThreadId()) continue;
    HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT, FALSE, entry.th32ThreadID);
    if (!thread) continue;
    if (SuspendThread(thread) != static_cast<DWORD>(-1)) {
      CONTEXT context{};
      context.ContextFlags = CONTEXT_CONTROL;
      if (GetThreadContext(thread, &context)) {
#ifdef _WIN64
        pointers.push_back(static_cast<uintptr_t>(context.Rip));
#else
        pointers.push_back(static_cast<uintptr_t>(context.Eip));
#endif
      }
      ResumeThread(thread);
    }
    CloseHandle(thread);
  }
  CloseHandle(snapshot);
  return pointers;
}

// The host unloads the plug-in with a board open and streaming: the library's detach runs under
// the loader lock, which an ending thread needs too, so it must not wait for the reader's end.
TEST_F(WholeJobExports, UnloadingWithABoardStreamingReturnsAtOnceAndLeavesNoThreadInThePlugin) {
  ASSERT_TRUE(session_->Action(">in/sampler/start"));
  double meanKg = 0;
  ASSERT_GT(Stream(*session_, kReadTimeoutMs * 3, meanKg), 0);
  ImageRange plugin = RangeOf(GetModuleHandleW(L"PlankScale.kymdll"));
  session_.reset();
  auto start = Clock::now();
  plugin_.reset();
  auto took = Clock::now() - start;
  EXPECT_LT(took, kLongestUnload) << std::chrono::duration<double>(took).count() << " s";
  EXPECT_EQ(GetModuleHandleW(L"PlankScale.kymdll"), nullptr) << "the plug-in stayed loaded";
  Sleep(kReadTimeoutMs * 5);  // time for a reader that was let go to run into freed code
  for (uintptr_t pointer : OtherThreadsInstructionPointers())
    EXPECT_FALSE(plugin.Holds(pointer)) << "a thread runs at " << std::hex << pointer << " in the unloaded plug-in";
}

// Steers the world in this process through plankscale_world.dll's test-only exports.
class WorldControl {
 public:
  WorldControl() : world_(GetModuleHandleW(L"plankscale_world.dll")) {}
  void SetDriverDelays(ULONGLONG cancelMicros, ULONGLONG writeMicros) {
    if (auto set = Find<standins::SetDriverDelaysFunction>(standins::kSetDriverDelaysExport)) set(0, cancelMicros, writeMicros);
  }
  void SetButton(bool pressed) {
    if (auto set = Find<standins::SetButtonFunction>(standins::kSetButtonExport)) set(0, pressed);
  }
  void GoSilent() {
    if (auto silence = Find<standins::GoSilentFunction>(standins::kGoSilentExport)) silence(0);
  }
  bool Usable() const { return world_ != nullptr; }

 private:
  template <typename F>
  F Find(const char* name) {
    return world_ ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(world_, name))) : nullptr;
  }
  HMODULE world_;
};

// A driver slow to write (a link going out of range) or one that never ends a cancelled read:
// the close returns within 2 s, and the reader left behind ends later without harm. In a process
// of its own, whose world has a paired board and whose stuck readers end with it.
TEST(WholeJobSlowDriver, ACloseReturnsWithinTwoSecondsWhateverTheDriverDoes) {
  if (RanInAProcessOfItsOwn(kPairedBoard, L"WholeJobSlowDriver.*")) return;
  struct Case {
    const char* what;
    ULONGLONG cancelMicros;
    ULONGLONG writeMicros;
    bool press;   // the button while idle: the reader switches the LED, and that write blocks
    bool silent;  // out of range without a word: the reader's read waits for a report that never comes
  };
  const Case cases[] = {{"a write that blocks for 13 s", 0, kBlockingWriteMicros, true, false},
                        {"a read that never cancels", kNeverCancelled, 0, false, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PluginLibrary plugin;
    ASSERT_TRUE(plugin.Load("PlankScale.kymdll")) << plugin.error();
    int index = -1;
    ASSERT_EQ(plugin.FindDevice(&index), 1);
    ASSERT_EQ(plugin.Initialise(index), 1);
    WorldControl world;
    ASSERT_TRUE(world.Usable());
    world.SetDriverDelays(c.cancelMicros, c.writeMicros);
    if (c.press) world.SetButton(true);
    if (c.silent) world.GoSilent();
    // The press handled and its write begun; a read given up and not cancelled, the next pending.
    Sleep(kReadTimeoutMs * 10);
    auto start = Clock::now();
    EXPECT_EQ(plugin.CloseAll(), 1);
    double took = std::chrono::duration<double>(Clock::now() - start).count();
    EXPECT_LT(took, std::chrono::duration<double>(kLongestClose).count());
    std::printf("%s: CloseAll returned after %.2f s\n", c.what, took);
    world.SetButton(false);
    world.SetDriverDelays(0, 0);
  }
}

}  // namespace
