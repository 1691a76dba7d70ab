#include "app/core/browser_switches.h"

#include <gtest/gtest.h>

namespace gameshell {
namespace {

// What a developer's command line may not undo: the build's sandbox and closed debugging endpoint,
// and the process for every origin, which keeps other hosts' frames away from the bridge.
TEST(BrowserSwitchesTest, CommandLineSwitchesThatUndoTheBuildsChoicesAreRefused) {
  const EngineOptions player;
  for (const char* arg :
       {"--no-sandbox", "--disable-namespace-sandbox", "--disable-seccomp-filter-sandbox",
        "--disable-setuid-sandbox", "--no-zygote-sandbox", "--disable-gpu-sandbox",
        "--remote-debugging-port=9222", "---remote-debugging-pipe", "--enable-features=X",
        "--disable-features=SitePerProcess", "--disable-site-isolation-trials", "--single-process",
        "--process-per-site", "--process-per-tab"}) {
    EXPECT_TRUE(OverridesEngineOptions(arg, player)) << arg;
  }
  for (const char* arg : {"--lang=en", "--sandboxed", "--remote", "--enable-logging"}) {
    EXPECT_FALSE(OverridesEngineOptions(arg, player)) << arg;
  }
  // What the build itself chose is no override.
  EXPECT_FALSE(OverridesEngineOptions("--no-sandbox", {.sandbox = false}));
  EXPECT_FALSE(OverridesEngineOptions("--remote-debugging-port=1", {.remote_debugging = true}));
  EXPECT_TRUE(OverridesEngineOptions("--single-process", {.sandbox = false}));
}

}  // namespace
}  // namespace gameshell
