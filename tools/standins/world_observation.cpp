// The test-only exports of plankscale_world.dll: no stand-in forwards them, so the plug-in never
// sees them.
#include "world_observation.h"

#include "sim/world.h"

#include <type_traits>

extern "C" LONGLONG TestOnlyLatestDataReportCounter(DWORD board) {
  auto found = sim::World::Instance().Board(board);
  return found ? found->LatestDataReportCounter() : 0;
}

extern "C" void TestOnlySetDriverDelays(DWORD board, ULONGLONG cancelMicros, ULONGLONG writeMicros) {
  if (auto found = sim::World::Instance().Board(board)) {
    found->DelayCancellation(cancelMicros);
    found->DelayWrites(writeMicros);
  }
}

extern "C" void TestOnlyGoSilent(DWORD board) {
  if (auto found = sim::World::Instance().Board(board)) found->GoSilent();
}

extern "C" void TestOnlySetButton(DWORD board, BOOL pressed) {
  if (auto found = sim::World::Instance().Board(board)) found->SetButton(pressed != FALSE);
}

// The signatures the tests look them up by.
static_assert(std::is_same<decltype(&TestOnlyLatestDataReportCounter), standins::LatestDataReportCounterFunction>::value,
              "the export and its lookup agree");
static_assert(std::is_same<decltype(&TestOnlySetDriverDelays), standins::SetDriverDelaysFunction>::value,
              "the export and its lookup agree");
static_assert(std::is_same<decltype(&TestOnlyGoSilent), standins::GoSilentFunction>::value,
              "the export and its lookup agree");
static_assert(std::is_same<decltype(&TestOnlySetButton), standins::SetButtonFunction>::value,
              "the export and its lookup agree");
