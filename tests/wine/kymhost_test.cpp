// kymhost.exe with the real plug-in file, run as a Windows program: Wine has no Bluetooth radio,
// so the search ends there, and kymhost passes on the plug-in's reason and its own exit code.
#include "program_run.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr DWORD kLongestRunMs = 60'000;
constexpr DWORD kExitNoBoard = 2;

TEST(KymhostExe, SaysThereIsNoRadioAndExitsWithItsCode) {
  ProgramRun run = RunProgram(L"kymhost.exe --seconds 1", kLongestRunMs);
  ASSERT_TRUE(run.finished) << "kymhost.exe did not finish:\n" << run.output;
  EXPECT_EQ(run.exitCode, kExitNoBoard) << run.output;
  EXPECT_NE(run.output.find("No board found: No Bluetooth radio was found. Check that your Bluetooth interface is "
                            "connected and that you have the Microsoft Bluetooth driver software."),
            std::string::npos)
      << run.output;
}

}  // namespace
