#include "app/core/browser_switches.h"

namespace gameshell {

const std::vector<EngineSwitch>& BrowserSwitches() {
  static const std::vector<EngineSwitch> kSwitches = {
      {"disable-background-timer-throttling", ""},
      {"disable-backgrounding-occluded-windows", ""},
      {"disable-renderer-backgrounding", ""},
      {"enable-begin-frame-scheduling", "1"},
      {"disable-gpu-vsync", "0"},
      {"--disable-web-security", ""},
      {"allow-file-access-from-files", "1"},
      {"enable-webgl", "1"},
      {"ignore-gpu-blocklist", "1"},
  };
  return kSwitches;
}

std::vector<EngineSwitch> EngineSettingSwitches(const EngineOptions& options) {
  std::vector<EngineSwitch> switches;
  if (!options.sandbox) {
    switches.push_back({"no-sandbox", ""});
  }
  switches.push_back({"lang", "zh-CN"});
  // Web security is off for the game, so a frame sharing the game's renderer could script the
  // game's own frames, bridge included. In a process of its own, a frame of any other origin
  // (an advertisement, say) reaches the game only by postMessage.
  switches.push_back({"site-per-process", ""});
  switches.push_back({"enable-features", "StrictOriginIsolation"});
  switches.push_back({"disable-logging", ""});
  // The engine's own lines on stderr (its errors included) would bury a developer's page lines and
  // tell a player nothing: only a fatal one is said. A developer's build takes "--log-level=0" from
  // its command line.
  switches.push_back({"log-level", "3"});
  if (options.remote_debugging) {
    switches.push_back({"remote-debugging-port", std::to_string(kRemoteDebuggingPort)});
  }
  return switches;
}

bool OverridesEngineOptions(std::string_view arg, const EngineOptions& options) {
  std::string_view name = arg.substr(0, arg.find('='));
  while (name.starts_with('-')) {
    name.remove_prefix(1);
  }
  if (!options.remote_debugging && name.starts_with("remote-debugging")) {
    return true;
  }
  // The process model keeps other origins' frames away from the bridge: a later switch would
  // replace the features asked for, or put frames back together.
  constexpr std::string_view kProcessModel[] = {
      "enable-features", "disable-features", "disable-site-isolation-trials",
      "single-process",  "process-per-site", "process-per-tab"};
  for (std::string_view model : kProcessModel) {
    if (name == model) {
      return true;
    }
  }
  constexpr std::string_view kSandboxOff[] = {"no-sandbox",
                                              "disable-namespace-sandbox",
                                              "disable-seccomp-filter-sandbox",
                                              "disable-setuid-sandbox",
                                              "no-zygote-sandbox",
                                              "disable-gpu-sandbox"};
  if (options.sandbox) {
    for (std::string_view off : kSandboxOff) {
      if (name == off) {
        return true;
      }
    }
  }
  return false;
}

std::string FormatSwitch(const EngineSwitch& engine_switch) {
  std::string text = engine_switch.name.starts_with("--") ? "" : "--";
  text += engine_switch.name;
  if (!engine_switch.value.empty()) {
    text += '=';
    text += engine_switch.value;
  }
  return text;
}

}  // namespace gameshell
