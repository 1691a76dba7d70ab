#pragma once

#include <string>
#include <string_view>
#include <vector>

// The engine switches the browser process starts with. Engine-neutral; any thread.
namespace gameshell {

struct EngineSwitch {
  std::string name;   // without leading dashes, except where the name itself carries them
  std::string value;  // empty: the switch has no value
};

// The nine browser switches, in the order they are appended.
const std::vector<EngineSwitch>& BrowserSwitches();

// Settings of the engine that take the form of switches on engines configured by command line:
// no sandbox, user-interface locale, no log, remote developer tools.
const std::vector<EngineSwitch>& EngineSettingSwitches();

inline constexpr int kRemoteDebuggingPort = 19223;

// True when the URL names the remote-debugging port, whatever its host: any name may resolve to
// this machine. No page may reach the port; only tools outside the pages.
bool IsRemoteDebuggingUrl(std::string_view url);

// "--name" or "--name=value"; a name that already starts with "--" is not prefixed again.
std::string FormatSwitch(const EngineSwitch& engine_switch);

}  // namespace gameshell
