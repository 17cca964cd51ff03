// Tests call the plug-in's code directly, without the loader: attach it as the loader would.
#include "plugin/library.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include "platform/posix/control.h"
#include "sim/world.h"
#endif

#if defined(__SANITIZE_ADDRESS__)
// A read that completes after its caller returned writes into that caller's frame: only with
// this does AddressSanitizer see it. The suppressions are for the outside readers the tests check
// kymhost's files with, whose own faults are not the files'.
extern "C" const char* __asan_default_options() {
  return "detect_stack_use_after_return=1"
#ifdef PLANKSCALE_SOURCE_DIR
         ":suppressions=" PLANKSCALE_SOURCE_DIR "/tests/tools/outside_readers.supp"
#endif
      ;
}
#endif

namespace {

#ifndef _WIN32
void OnThreadExit() { LibraryThreadDetach(); }
#endif

class PluginEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
#ifdef _WIN32
    LibraryAttach(GetModuleHandleW(nullptr));  // the resources are linked into the test program
#else
    // Tests build the world they need; none starts with the default board in it.
    sim::World::Instance().Clear();
    LibraryAttach(posix::PluginModuleHandle());
    posix::AddThreadExitHandler(&OnThreadExit);
#endif
  }
  void TearDown() override { LibraryDetach(); }
};

const auto* const environment = ::testing::AddGlobalTestEnvironment(new PluginEnvironment);

}  // namespace
