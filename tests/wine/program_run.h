// A Windows program run to its end, or stopped after a time limit, with its output captured.
#pragma once

#include <windows.h>

#include <string>

struct ProgramRun {
  bool finished = false;
  DWORD exitCode = 0;
  std::string output;  // standard output and standard error together
};

// Where RunProgram gathers the program's output while it runs, in the current directory.
extern const wchar_t kProgramRunOutput[];

// Runs commandLine from the current directory. A scenario, when given, is what the simulated
// world of the child is built from.
ProgramRun RunProgram(const std::wstring& commandLine, DWORD timeoutMs, const std::string& scenario = std::string());
