#include "app/core/command_line.h"

#include "base/core/windows_command_line.h"

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
                                   "--in-player-cache",
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
  EXPECT_TRUE(options.in_player_cache);
  EXPECT_EQ(options.refused_cache_dir, "/home/p/.cache/varnholt");
  EXPECT_EQ(options.engine_failed, "no helper: at all");
  EXPECT_EQ(options.login_host, "https://staging.example.net:8443");
  EXPECT_EQ(options.extra_hosts, "cdn.example.net");
  EXPECT_EQ(args, (std::vector<std::string>{"gameshell", "--proxy-server=x", "a:1",
                                            "--login-host=evil.example", "--errors-in-window", "--",
                                            "--engine-failed=<h1>x"}));
  // Without a marker every argument is the player's: launch parameters may come from a web page.
  const std::vector<std::string> players = {"gameshell",
                                            "--errors-in-window",
                                            "--refused-cache-dir=/x",
                                            "--engine-failed=<b>y",
                                            "--login-host=evil.example",
                                            "--in-player-cache"};
  args = players;
  const ShellOptions none = TakeShellOptions(args);
  EXPECT_FALSE(none.errors_in_window);
  EXPECT_FALSE(none.refused_cache_dir);
  EXPECT_FALSE(none.engine_failed);
  EXPECT_FALSE(none.login_host);
  EXPECT_FALSE(none.in_player_cache);
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

// The runtime's own splitting, as CommandLineToArgvW documents it, and quoting that survives it.
TEST(WindowsCommandLineTest, ArgumentsSplitAsTheRuntimeSplitsThemAndQuotingSurvivesIt) {
  const struct {
    std::u16string line;
    std::vector<std::u16string> args;
  } cases[] = {
      {u"a.exe", {u"a.exe"}},
      {u"\"C:\\Program Files\\V\\a.exe\"  x  y", {u"C:\\Program Files\\V\\a.exe", u"x", u"y"}},
      // No escapes in the program's name.
      {u"C:\\a\\b.exe \"c d\" e", {u"C:\\a\\b.exe", u"c d", u"e"}},
      {u"p a\\\\\\\"b \"c\\\\\" d", {u"p", u"a\\\"b", u"c\\", u"d"}},
      {u"p a\\b\\\\c", {u"p", u"a\\b\\\\c"}},
      {u"p \"a \"\"b\" c", {u"p", u"a \"b c"}},
      {u"p \"\" x", {u"p", u"", u"x"}},
      {u"p \"open", {u"p", u"open"}},
      {u"p\t玩家:张三\t", {u"p", u"玩家:张三"}},
  };
  for (const auto& c : cases) {
    std::vector<std::u16string> got;
    for (const WindowsArgument& argument : ParseWindowsCommandLine(c.line)) {
      got.push_back(argument.text);
    }
    EXPECT_EQ(got, c.args) << testing::PrintToString(c.line);
  }
  for (const std::u16string arg :
       {u"", u"plain", u"a b", u"a\"b", u"C:\\dir with space\\", u"\\\\server\\\"x\\\\",
        u"--user-data-dir=C:\\T\\p 1\\", u"tab\there", u"\"", u"名字 \"引号\""}) {
    const std::u16string line = u"p " + QuoteWindowsArgument(arg) + u" next";
    const std::vector<WindowsArgument> parsed = ParseWindowsCommandLine(line);
    ASSERT_EQ(parsed.size(), 3u) << testing::PrintToString(arg);
    EXPECT_EQ(parsed[1].text, arg);
    EXPECT_EQ(parsed[2].text, u"next");
  }
  EXPECT_EQ(QuoteWindowsArgument(u"plain"), u"plain");
}

TEST(WindowsCommandLineTest, LaunchParametersAreTheTailAsWrittenAndOptionsStandOnlyBeforeAMarker) {
  const struct {
    std::u16string line;
    std::vector<std::string> args;
    std::u16string launch_parameters;
  } cases[] = {
      {u"gameshell.exe", {"gameshell.exe"}, u""},
      {u"\"C:\\V\\gameshell.exe\"   user:\"a b\",extraInfo:k:v ",
       {"C:\\V\\gameshell.exe"},
       u"user:\"a b\",extraInfo:k:v "},
      // Without a marker nothing is an option: a page's parameters may come from a handler.
      {u"g --refused-cache-dir=x a:1", {"g"}, u"--refused-cache-dir=x a:1"},
      {u"g --errors-in-window \"--refused-cache-dir=C:\\My Games\" -- 名:张\"三\" -- x:1",
       {"g", "--errors-in-window", "--refused-cache-dir=C:\\My Games", "--"},
       u"名:张\"三\" -- x:1"},
      {u"g -- ", {"g", "--"}, u""},
  };
  for (const auto& c : cases) {
    const WindowsStart start = SplitWindowsStart(c.line);
    EXPECT_EQ(start.args, c.args) << testing::PrintToString(c.line);
    EXPECT_EQ(start.launch_parameters, c.launch_parameters) << testing::PrintToString(c.line);
  }
  std::vector<std::string> args = SplitWindowsStart(u"g --errors-in-window -- a:1").args;
  EXPECT_TRUE(TakeShellOptions(args).errors_in_window);
  args = SplitWindowsStart(u"g a:1 --errors-in-window").args;
  EXPECT_FALSE(TakeShellOptions(args).errors_in_window);
}

}  // namespace
}  // namespace gameshell
