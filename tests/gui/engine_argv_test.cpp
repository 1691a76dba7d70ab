#include "app/qt/engine_argv.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace gameshell {
namespace {

TEST(EngineArgvTest, ChromiumSwitchesFollowTheMarker) {
  std::vector<std::string> argv =
      EngineArgv({"/x/gameshell", "a:1", "--extra=1"}, {.command_line_switches = true});
  ASSERT_GE(argv.size(), 3u);
  EXPECT_EQ(argv[0], "/x/gameshell");
  EXPECT_EQ(argv[1], "--webEngineArgs");
  auto position = [&](const std::string& s) {
    return std::find(argv.begin(), argv.end(), s) - argv.begin();
  };
  EXPECT_LT(position("--disable-background-timer-throttling"),
            position("--ignore-gpu-blocklist=1"));
  EXPECT_EQ(position("--ignore-gpu-blacklist=1"), static_cast<long>(argv.size()));
  EXPECT_EQ(argv.back(), "--extra=1");
  EXPECT_EQ(position("a:1"), static_cast<long>(argv.size()));
}

// Sandboxed pages and no debugging endpoint, whatever the command line of a developer's build asks.
TEST(EngineArgvTest, CommandLineCannotUndoTheBuildsChoices) {
  std::vector<std::string> argv =
      EngineArgv({"gameshell", "--no-sandbox", "--remote-debugging-port=9222",
                  "---remote-debugging-pipe", "--disable-seccomp-filter-sandbox", "--lang=en"},
                 {.command_line_switches = true});
  for (const std::string& arg : argv) {
    EXPECT_EQ(arg.find("sandbox"), std::string::npos) << arg;
    EXPECT_EQ(arg.find("remote-debugging"), std::string::npos) << arg;
  }
  EXPECT_EQ(argv.back(), "--lang=en");

  // The engine is quiet but for fatal errors, unless a developer asks for more: the later switch
  // wins.
  argv = EngineArgv({"gameshell", "--log-level=0"}, {.command_line_switches = true});
  auto at = [&](const std::string& s) { return std::find(argv.begin(), argv.end(), s); };
  EXPECT_LT(at("--log-level=3"), at("--log-level=0"));
  EXPECT_NE(at("--log-level=0"), argv.end());

  argv = EngineArgv({"gameshell"}, {.sandbox = false, .remote_debugging = true});
  auto has = [&](const std::string& s) {
    return std::find(argv.begin(), argv.end(), s) != argv.end();
  };
  EXPECT_TRUE(has("--no-sandbox"));
  EXPECT_TRUE(has("--remote-debugging-port=19223"));
}

// A player's build: no argument of its command line reaches Qt or the engine.
TEST(EngineArgvTest, APlayersBuildTakesNoSwitchFromItsCommandLine) {
  const std::vector<std::string> args = {"gameshell",
                                         "--renderer-cmd-prefix=/bin/sh -c x",
                                         "--proxy-server=http://127.0.0.9:1",
                                         "-platform",
                                         "x",
                                         "a:1"};
  const std::vector<std::string> player = EngineArgv(args, {});
  const std::vector<std::string> bare = EngineArgv({"gameshell"}, {});
  EXPECT_EQ(player, bare);
}

}  // namespace
}  // namespace gameshell
