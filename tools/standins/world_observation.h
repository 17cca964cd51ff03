// What a test may observe and steer of the world inside a Windows process, beyond the system
// functions the stand-ins serve: the test-only exports of plankscale_world.dll, looked up by name.
#pragma once

#include "platform/win32.h"

namespace standins {

// The performance counter at which a board of the world (by its index) sent its latest data
// report; 0 before its first, or when there is no such board. Where a report's way to the
// host starts, for the latency benchmark.
using LatestDataReportCounterFunction = LONGLONG (*)(DWORD board);
constexpr char kLatestDataReportCounterExport[] = "TestOnlyLatestDataReportCounter";

// The driver behind a board's HID device from now on: how long a cancelled read stays pending
// (UINT64_MAX: until its handle closes) and how long every output report blocks its sender.
using SetDriverDelaysFunction = void (*)(DWORD board, ULONGLONG cancelMicros, ULONGLONG writeMicros);
constexpr char kSetDriverDelaysExport[] = "TestOnlySetDriverDelays";

// Carries a board out of range without a word: its reports stop.
using GoSilentFunction = void (*)(DWORD board);
constexpr char kGoSilentExport[] = "TestOnlyGoSilent";

// Holds a board's button down, or lets it go.
using SetButtonFunction = void (*)(DWORD board, BOOL pressed);
constexpr char kSetButtonExport[] = "TestOnlySetButton";

}  // namespace standins
