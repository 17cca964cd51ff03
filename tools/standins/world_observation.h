// What a test may observe of the world inside a Windows process, beyond the system functions
// the stand-ins serve: the test-only exports of plankscale_world.dll, looked up by name.
#pragma once

#include "platform/win32.h"

namespace standins {

// The performance counter at which a board of the world (by its index) sent its latest data
// report; 0 before its first, or when there is no such board. Where a report's way to the
// host starts, for the latency benchmark.
using LatestDataReportCounterFunction = LONGLONG (*)(DWORD board);
constexpr char kLatestDataReportCounterExport[] = "TestOnlyLatestDataReportCounter";

}  // namespace standins
