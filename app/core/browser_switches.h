#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/core/remote_debugging_port.h"

// The engine switches the browser process starts with. Engine-neutral; any thread.
namespace gameshell {

struct EngineSwitch {
  std::string name;   // without leading dashes, except where the name itself carries them
  std::string value;  // empty: the switch has no value
};

// The nine browser switches, in the order they are appended.
const std::vector<EngineSwitch>& BrowserSwitches();

// What a build or a run decides about the engine beyond the fixed switches.
struct EngineOptions {
  // Pages run in the engine's sandbox. Only root goes without: the engine refuses to sandbox its
  // pages there.
  bool sandbox = true;
  // The remote-debugging endpoint on 127.0.0.1:kRemoteDebuggingPort. It hands the player's session
  // (cookies, script in the game page) to any local process, so only developers' builds open it.
  bool remote_debugging = false;
  // Switches on the shell's command line reach the engine (less those that would undo the
  // above). Only developers' builds: launch parameters may come from a web page (a platform's
  // protocol handler), and a switch can run a command, send every request through a proxy or
  // stop the start.
  bool command_line_switches = false;
};

// Settings of the engine that take the form of switches on engines configured by command line:
// the sandbox (off only when asked), user-interface locale, a renderer process for every origin,
// no log, remote developer tools (only when asked).
std::vector<EngineSwitch> EngineSettingSwitches(const EngineOptions& options);

// True for a switch from the command line that would undo `options` (open a debugging endpoint
// the build keeps closed, turn the pages' sandbox off) or the process for every origin: such a
// switch never reaches the engine.
bool OverridesEngineOptions(std::string_view arg, const EngineOptions& options);

// "--name" or "--name=value"; a name that already starts with "--" is not prefixed again.
std::string FormatSwitch(const EngineSwitch& engine_switch);

}  // namespace gameshell
