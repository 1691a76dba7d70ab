#include "app/core/command_line.h"

#include <gtest/gtest.h>

namespace gameshell {
namespace {

TEST(CommandLineTest, ATypeSwitchMeansAnEngineSubprocess) {
  EXPECT_FALSE(IsEngineSubprocessCommandLine({"gameshell"}));
  EXPECT_FALSE(IsEngineSubprocessCommandLine({"gameshell", "a:1", "b:2"}));
  EXPECT_TRUE(IsEngineSubprocessCommandLine({"gameshell", "--type=renderer", "--lang=zh-CN"}));
  EXPECT_TRUE(IsEngineSubprocessCommandLine({"gameshell", "--type=utility"}));
  EXPECT_TRUE(IsEngineSubprocessCommandLine({"gameshell", "-type=gpu-process"}));
  EXPECT_TRUE(IsEngineSubprocessCommandLine({"gameshell", "--type"}));
  // Not switches: a value mentioning it, a longer name, and anything after "--".
  EXPECT_FALSE(IsEngineSubprocessCommandLine({"gameshell", "type:renderer"}));
  EXPECT_FALSE(IsEngineSubprocessCommandLine({"gameshell", "--typed=x"}));
  EXPECT_FALSE(IsEngineSubprocessCommandLine({"gameshell", "--", "--type=renderer"}));
  // The program name is never a switch.
  EXPECT_FALSE(IsEngineSubprocessCommandLine({"--type=renderer"}));
  // Where launch parameters follow a "--", only the switches before it count.
  EXPECT_FALSE(IsEngineSubprocessCommandLine({"gameshell", "-type"}, true));
  EXPECT_FALSE(IsEngineSubprocessCommandLine({"gameshell", "--", "--type=renderer"}, true));
  EXPECT_TRUE(IsEngineSubprocessCommandLine({"gameshell", "--type=gpu", "--"}, true));
}

TEST(CommandLineTest, LaunchParametersAreTheArgumentsJoinedWithBlanks) {
  EXPECT_EQ(LaunchParametersFromArgs({"gameshell"}), "");
  EXPECT_EQ(LaunchParametersFromArgs({"gameshell", "extraInfo:a:1,b:2", "c:3"}),
            "extraInfo:a:1,b:2 c:3");
}

TEST(CommandLineTest, ArgumentsThatAreNeitherParametersNorSwitchesAreIgnored) {
  const std::vector<std::string> args = {
      "gameshell", "extraInfo:a:1,b", "-platform", "x", "--proxy-server=http://h:1",
      "--flag=on", "extraInfo:",      "k:v:w"};
  EXPECT_EQ(IgnoredArguments(args, false),
            (std::vector<std::string>{"-platform", "x", "--proxy-server=http://h:1",
                                      "extraInfo:", "k:v:w"}));
  EXPECT_EQ(IgnoredArguments(args, true),
            (std::vector<std::string>{"-platform", "x", "extraInfo:", "k:v:w"}));
}

TEST(CommandLineTest, TheShellsOwnOptionsStandOnlyBeforeTheMarker) {
  std::vector<std::string> args = {"gameshell",
                                   "--errors-in-window",
                                   "--refused-cache-dir=/home/p/.cache/varnholt",
                                   "--proxy-server=x",
                                   "--engine-failed=no helper: at all",
                                   "--login-host=https://staging.example.net:8443",
                                   "--extra-hosts=cdn.example.net",
                                   "--",
                                   "a:1",
                                   "--login-host=evil.example",
                                   "--errors-in-window",
                                   "--",
                                   "--engine-failed=<h1>x"};
  const ShellOptions options = TakeShellOptions(args);
  EXPECT_TRUE(options.errors_in_window);
  EXPECT_EQ(options.refused_cache_dir, "/home/p/.cache/varnholt");
  EXPECT_EQ(options.engine_failed, "no helper: at all");
  EXPECT_EQ(options.login_host, "https://staging.example.net:8443");
  EXPECT_EQ(options.extra_hosts, "cdn.example.net");
  EXPECT_EQ(args, (std::vector<std::string>{"gameshell", "--proxy-server=x", "a:1",
                                            "--login-host=evil.example", "--errors-in-window", "--",
                                            "--engine-failed=<h1>x"}));
  // Without a marker every argument is the player's: launch parameters may come from a web page.
  const std::vector<std::string> players = {"gameshell", "--errors-in-window",
                                            "--refused-cache-dir=/x", "--engine-failed=<b>y",
                                            "--login-host=evil.example"};
  args = players;
  const ShellOptions none = TakeShellOptions(args);
  EXPECT_FALSE(none.errors_in_window);
  EXPECT_FALSE(none.refused_cache_dir);
  EXPECT_FALSE(none.engine_failed);
  EXPECT_FALSE(none.login_host);
  EXPECT_EQ(args, players);
  args = {"--", "--errors-in-window"};  // the program's name is never the marker
  EXPECT_FALSE(TakeShellOptions(args).errors_in_window);
}

TEST(CommandLineTest, OnlyADevelopersBuildPlaysAgainstTheHostsItsOptionsName) {
  ShellOptions named;
  named.login_host = "https://staging.example.net:8443";
  const PlayedHosts developer = ChoosePlayedHosts(named, "login.example", "cdn.example", true);
  EXPECT_EQ(developer.login_host, "https://staging.example.net:8443");
  EXPECT_EQ(developer.extra_hosts, "cdn.example");  // not named: the built-in list
  EXPECT_FALSE(developer.refused);
  const PlayedHosts player = ChoosePlayedHosts(named, "login.example", "cdn.example", false);
  EXPECT_EQ(player.login_host, "login.example");
  EXPECT_TRUE(player.refused);
  EXPECT_FALSE(ChoosePlayedHosts({}, "login.example", "", false).refused);
}

}  // namespace
}  // namespace gameshell
