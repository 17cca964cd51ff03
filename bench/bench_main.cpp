// The benchmarks call the plug-in's code directly: attach it first, as the loader would.
#include "platform/posix/control.h"
#include "plugin/library.h"
#include "sim/world.h"

#include <benchmark/benchmark.h>

int main(int argc, char** argv) {
  sim::World::Instance().Clear();
  LibraryAttach(posix::PluginModuleHandle());
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  LibraryDetach();
  return 0;
}
