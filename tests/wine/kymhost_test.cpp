// kymhost.exe with the real plug-in file, run as a Windows program: Wine has no Bluetooth radio,
// so the search ends there, and kymhost passes on the plug-in's reason and its own exit code.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

namespace {

constexpr DWORD kLongestRunMs = 60'000;
constexpr DWORD kExitNoBoard = 2;
constexpr DWORD kNotFinished = 0xDEAD;

TEST(KymhostExe, SaysThereIsNoRadioAndExitsWithItsCode) {
  const wchar_t outputName[] = L"kymhost_wine_test_output.txt";
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE output = CreateFileW(outputName, GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(output, INVALID_HANDLE_VALUE) << GetLastError();
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = output;
  startup.hStdError = output;
  PROCESS_INFORMATION process{};
  wchar_t command[] = L"kymhost.exe --seconds 1";
  BOOL started = CreateProcessW(L"kymhost.exe", command, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
  DWORD startError = GetLastError();
  CloseHandle(output);
  ASSERT_TRUE(started) << "CreateProcessW failed with " << startError;
  DWORD waited = WaitForSingleObject(process.hProcess, kLongestRunMs);
  if (waited != WAIT_OBJECT_0) TerminateProcess(process.hProcess, kNotFinished);
  DWORD code = kNotFinished;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);

  std::ifstream file("kymhost_wine_test_output.txt", std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  file.close();
  DeleteFileW(outputName);

  ASSERT_EQ(waited, WAIT_OBJECT_0) << "kymhost.exe did not finish:\n" << text.str();
  EXPECT_EQ(code, kExitNoBoard) << text.str();
  EXPECT_NE(text.str().find("No board found: No Bluetooth radio was found. Check that your Bluetooth interface is "
                            "connected and that you have the Microsoft Bluetooth driver software."),
            std::string::npos)
      << text.str();
}

}  // namespace
