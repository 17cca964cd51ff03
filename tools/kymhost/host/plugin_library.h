// The plug-in as the host sees it: a library loaded by path and its thirteen entry points.
#pragma once

#include "plugin/exports.h"

#include <string>

class PluginLibrary {
 public:
  PluginLibrary() = default;
  ~PluginLibrary();
  PluginLibrary(const PluginLibrary&) = delete;
  PluginLibrary& operator=(const PluginLibrary&) = delete;

  // Loads the library and binds every export; false with error() set when anything is missing.
  bool Load(const std::string& path);
  const std::string& error() const { return error_; }

  // The loaded plug-in's file version from its version block ("1.1.400.0"); empty without one.
  std::string FileVersion() const;

  // The plug-in beside this program's own file.
  static std::string DefaultPath(const char* argv0);

  decltype(&::FindDevice) FindDevice = nullptr;
  decltype(&::Initialise) Initialise = nullptr;
  decltype(&::IsFailed) IsFailed = nullptr;
  decltype(&::ReadLine) ReadLine = nullptr;
  decltype(&::WriteBuffer) WriteBuffer = nullptr;
  decltype(&::ReadBuffer) ReadBuffer = nullptr;
  decltype(&::ReadBuffSize) ReadBuffSize = nullptr;
  decltype(&::FlushReadBuffer) FlushReadBuffer = nullptr;
  decltype(&::GetLastErrorMsg) GetLastErrorMsg = nullptr;
  decltype(&::GetUniqueID) GetUniqueID = nullptr;
  decltype(&::GetBaudRate) GetBaudRate = nullptr;
  decltype(&::GetDeviceClassInfo) GetDeviceClassInfo = nullptr;
  decltype(&::CloseAll) CloseAll = nullptr;

 private:
  void* Symbol(const char* name);
  void* handle_ = nullptr;
  std::string error_;
};
