#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What the shell reads from its command line. Engine-neutral; any thread.
namespace gameshell {

// The value of the last switch `name` ("--name=value", "-name=value"; "" when it has no value).
// Switches end at a bare "--", as in Chromium's command line.
std::optional<std::string> FindSwitchValue(const std::vector<std::string>& args,
                                           std::string_view name);

// Options of the shell itself, which the menu's launcher (and the shell, started afresh) pass
// before a bare "--", with the player's launch parameters after it. Launch parameters may come
// from a web page through the platform's protocol handler: without a "--", or after it, nothing is
// ever one of the shell's options.
struct ShellOptions {
  // "--errors-in-window": a refusal to start is also shown in a window (the player started the
  // game from the menu, where nobody reads stderr).
  bool errors_in_window = false;
  // "--in-player-cache": the shell runs in the player's own cache directory for the game, made
  // if need be, rather than where it was started (the Windows shortcut's way of doing what the
  // menu's launcher script does elsewhere).
  bool in_player_cache = false;
  // "--refused-cache-dir=<dir>": the launcher could not use this cache directory; the shell only
  // says so.
  std::optional<std::string> refused_cache_dir;
  // "--engine-failed=<reason>": the shell's browser engine could not start (it said so on stderr);
  // the shell, started again with this, only shows it in a window.
  std::optional<std::string> engine_failed;
  // "--login-host=<host>" and "--extra-hosts=<list>": a developer's build plays against these
  // instead of the hosts compiled in (a staging server, say); a player's build ignores them.
  std::optional<std::string> login_host;
  std::optional<std::string> extra_hosts;
};

// Takes the shell's own options out of `args`, and the "--" that ends them; arguments before it
// that are no option of the shell's stay. Without a "--", takes nothing.
ShellOptions TakeShellOptions(std::vector<std::string>& args);

// The hosts the run plays against: those built in, or, in a developer's build only, those its
// options name (a player's command line may come from a web page). `refused` is set when the
// options named hosts a player's build does not take.
struct PlayedHosts {
  std::string login_host;
  std::string extra_hosts;
  bool refused = false;
};
PlayedHosts ChoosePlayedHosts(const ShellOptions& options,
                              std::string built_login_host,
                              std::string built_extra_hosts,
                              bool developer_build);

// True when the command line carries a "type" switch: the engine meant it for one of its
// sub-processes (renderer, GPU, utility), not for the shell. Read where switches are: before a
// bare "--". `launch_parameters_follow_marker` (this build: the engine never starts the shell as
// one of its sub-processes) reads it only where a "--" ends the switches, so that no launch
// parameter ends the shell.
bool IsEngineSubprocessCommandLine(const std::vector<std::string>& args,
                                   bool launch_parameters_follow_marker = false);

// The launch parameters of a command line: every argument after the program name, joined with
// single blanks.
std::string LaunchParametersFromArgs(const std::vector<std::string>& args);

// The arguments the shell takes nothing from, in order: those that form no launch parameter
// (key:value) and, where `switches_reach_engine` (a developer's build), are no engine switch
// ("--name") either.
std::vector<std::string> IgnoredArguments(const std::vector<std::string>& args,
                                          bool switches_reach_engine);

// A start on Windows, where the program gets one UTF-16 command line: the arguments the shell's
// options are read from (the program's name, and the ones before a bare "--" with it), and the
// launch parameters, the text after the "--" (or, without one, after the program's name) as
// written: quotes in it are ordinary characters.
struct WindowsStart {
  std::vector<std::string> args;  // UTF-8
  std::u16string launch_parameters;
};
WindowsStart SplitWindowsStart(std::u16string_view command_line);

}  // namespace gameshell
