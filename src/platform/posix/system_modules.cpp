// The system libraries the plug-in binds at run time, as modules of this layer: hid.dll and
// SETUPAPI.DLL with the simulated world's functions behind their exports, and the one function of
// kernel32.dll that older Windows lacks and the plug-in therefore looks up.
#include "platform/posix/system_modules.h"

#include "platform/posix/control.h"

namespace {

struct Registration {
  Registration() {
    posix::RegisterHidModule();
    posix::RegisterSetupApiModule();
    posix::RegisterKernelModule();
  }
} registration;

}  // namespace

void posix::RegisterHidModule() {
  RegisterModule(L"hid.dll", {
                                 {"HidD_FreePreparsedData", ExportOf(&HidD_FreePreparsedData)},
                                 {"HidD_GetAttributes", ExportOf(&HidD_GetAttributes)},
                                 {"HidD_GetFeature", ExportOf(&HidD_GetFeature)},
                                 {"HidD_GetHidGuid", ExportOf(&HidD_GetHidGuid)},
                                 {"HidD_GetManufacturerString", ExportOf(&HidD_GetManufacturerString)},
                                 {"HidD_GetPreparsedData", ExportOf(&HidD_GetPreparsedData)},
                                 {"HidD_GetProductString", ExportOf(&HidD_GetProductString)},
                                 {"HidD_GetSerialNumberString", ExportOf(&HidD_GetSerialNumberString)},
                                 {"HidD_SetFeature", ExportOf(&HidD_SetFeature)},
                                 {"HidD_SetOutputReport", ExportOf(&HidD_SetOutputReport)},
                             });
}

void posix::RegisterSetupApiModule() {
  RegisterModule(L"SETUPAPI.DLL",
                 {
                     {"SetupDiDestroyDeviceInfoList", ExportOf(&SetupDiDestroyDeviceInfoList)},
                     {"SetupDiEnumDeviceInterfaces", ExportOf(&SetupDiEnumDeviceInterfaces)},
                     // The old names of the same two functions.
                     {"SetupDiEnumInterfaceDevice", ExportOf(&SetupDiEnumDeviceInterfaces)},
                     {"SetupDiGetClassDevsW", ExportOf(&SetupDiGetClassDevsW)},
                     {"SetupDiGetDeviceInstanceIdW", ExportOf(&SetupDiGetDeviceInstanceIdW)},
                     {"SetupDiGetDeviceInterfaceDetailW", ExportOf(&SetupDiGetDeviceInterfaceDetailW)},
                     {"SetupDiGetDeviceRegistryPropertyW", ExportOf(&SetupDiGetDeviceRegistryPropertyW)},
                     {"SetupDiGetInterfaceDeviceDetailW", ExportOf(&SetupDiGetDeviceInterfaceDetailW)},
                 });
}

void posix::RegisterKernelModule() {
  RegisterModule(L"kernel32.dll", {{"CancelIoEx", ExportOf(&CancelIoEx)}});
  LoadLibraryW(L"kernel32.dll");  // loaded with every process
}
