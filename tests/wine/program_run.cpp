#include "program_run.h"

#include <fstream>
#include <sstream>
#include <vector>

namespace {
constexpr DWORD kNotFinished = 0xDEAD;
}  // namespace

const wchar_t kProgramRunOutput[] = L"program_run_output.txt";
constexpr const wchar_t* kOutputName = kProgramRunOutput;

ProgramRun RunProgram(const std::wstring& commandLine, DWORD timeoutMs, const std::string& scenario) {
  ProgramRun run;
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE output = CreateFileW(kOutputName, GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (output == INVALID_HANDLE_VALUE) {
    run.output = "cannot create the output file: error " + std::to_string(GetLastError());
    return run;
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = output;
  startup.hStdError = output;
  PROCESS_INFORMATION process{};
  std::vector<wchar_t> command(commandLine.begin(), commandLine.end());
  command.push_back(L'\0');
  SetEnvironmentVariableA("PLANKSCALE_SIM", scenario.empty() ? nullptr : scenario.c_str());
  BOOL started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
  DWORD startError = GetLastError();
  SetEnvironmentVariableA("PLANKSCALE_SIM", nullptr);
  CloseHandle(output);
  if (!started) {
    run.output = "CreateProcessW failed with " + std::to_string(startError);
    return run;
  }
  run.finished = WaitForSingleObject(process.hProcess, timeoutMs) == WAIT_OBJECT_0;
  if (!run.finished) {
    TerminateProcess(process.hProcess, kNotFinished);
    WaitForSingleObject(process.hProcess, timeoutMs);
  }
  GetExitCodeProcess(process.hProcess, &run.exitCode);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);

  std::ifstream file(kOutputName, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  file.close();
  DeleteFileW(kOutputName);
  run.output = text.str();
  return run;
}
