#include "app/core/browser_switches.h"

#include "app/core/url_authority.h"

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
      {"ignore-gpu-blacklist", "1"},
  };
  return kSwitches;
}

const std::vector<EngineSwitch>& EngineSettingSwitches() {
  static const std::vector<EngineSwitch> kSwitches = {
      {"no-sandbox", ""},
      {"lang", "zh-CN"},
      {"disable-logging", ""},
      {"remote-debugging-port", std::to_string(kRemoteDebuggingPort)},
  };
  return kSwitches;
}

bool IsRemoteDebuggingUrl(std::string_view url) {
  std::optional<UrlAuthority> authority = ParseUrlAuthority(url);
  return authority && authority->port == kRemoteDebuggingPort;
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
