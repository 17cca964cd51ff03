// The test-only exports of plankscale_world.dll: no stand-in forwards them, so the plug-in never
// sees them.
#include "world_observation.h"

#include "sim/world.h"

#include <type_traits>

extern "C" LONGLONG TestOnlyLatestDataReportCounter(DWORD board) {
  auto found = sim::World::Instance().Board(board);
  return found ? found->LatestDataReportCounter() : 0;
}

// The signature the benchmark looks it up by.
static_assert(std::is_same<decltype(&TestOnlyLatestDataReportCounter), standins::LatestDataReportCounterFunction>::value,
              "the export and its lookup agree");
