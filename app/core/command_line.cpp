#include "app/core/command_line.h"

#include "app/core/start_url.h"
#include "base/core/text_conversion.h"
#include "base/core/windows_command_line.h"

#include <algorithm>
#include <utility>

namespace gameshell {

std::optional<std::string> FindSwitchValue(const std::vector<std::string>& args,
                                           std::string_view name) {
  std::optional<std::string> value;
  for (size_t i = 1; i < args.size(); ++i) {
    std::string_view arg = args[i];
    if (arg == "--") {
      break;
    }
    if (arg.size() < 2 || arg[0] != '-') {
      continue;
    }
    arg.remove_prefix(arg.starts_with("--") ? 2 : 1);
    size_t equals = arg.find('=');
    if (arg.substr(0, equals) != name) {
      continue;
    }
    value = equals == std::string_view::npos ? std::string() : std::string(arg.substr(equals + 1));
  }
  return value;
}

ShellOptions TakeShellOptions(std::vector<std::string>& args) {
  constexpr std::string_view kInWindow = "--errors-in-window";
  constexpr std::string_view kInPlayerCache = "--in-player-cache";
  constexpr std::string_view kRefusedCacheDir = "--refused-cache-dir=";
  constexpr std::string_view kEngineFailed = "--engine-failed=";
  constexpr std::string_view kLoginHost = "--login-host=";
  constexpr std::string_view kExtraHosts = "--extra-hosts=";
  ShellOptions options;
  const auto marker = std::find(args.begin() + std::min<size_t>(args.size(), 1), args.end(), "--");
  if (marker == args.end()) {
    return options;
  }
  std::vector<std::string> rest;
  for (auto it = args.begin(); it != marker; ++it) {
    const std::string& arg = *it;
    if (it == args.begin()) {
      rest.push_back(arg);  // the program's name
    } else if (arg == kInWindow) {
      options.errors_in_window = true;
    } else if (arg == kInPlayerCache) {
      options.in_player_cache = true;
    } else if (arg.starts_with(kRefusedCacheDir)) {
      options.refused_cache_dir = arg.substr(kRefusedCacheDir.size());
    } else if (arg.starts_with(kEngineFailed)) {
      options.engine_failed = arg.substr(kEngineFailed.size());
    } else if (arg.starts_with(kLoginHost)) {
      options.login_host = arg.substr(kLoginHost.size());
    } else if (arg.starts_with(kExtraHosts)) {
      options.extra_hosts = arg.substr(kExtraHosts.size());
    } else {
      rest.push_back(arg);
    }
  }
  rest.insert(rest.end(), marker + 1, args.end());
  args = std::move(rest);
  return options;
}

bool IsEngineSubprocessCommandLine(const std::vector<std::string>& args,
                                   bool launch_parameters_follow_marker) {
  if (launch_parameters_follow_marker &&
      std::find(args.begin() + std::min<size_t>(args.size(), 1), args.end(), "--") == args.end()) {
    return false;
  }
  return FindSwitchValue(args, "type").has_value();
}

std::string LaunchParametersFromArgs(const std::vector<std::string>& args) {
  std::string joined;
  for (size_t i = 1; i < args.size(); ++i) {
    if (i > 1) {
      joined += ' ';
    }
    joined += args[i];
  }
  return joined;
}

std::vector<std::string> IgnoredArguments(const std::vector<std::string>& args,
                                          bool switches_reach_engine) {
  std::vector<std::string> ignored;
  for (size_t i = 1; i < args.size(); ++i) {
    if (!FormsLaunchParameter(args[i]) && !(switches_reach_engine && args[i].starts_with("--"))) {
      ignored.push_back(args[i]);
    }
  }
  return ignored;
}

PlayedHosts ChoosePlayedHosts(const ShellOptions& options,
                              std::string built_login_host,
                              std::string built_extra_hosts,
                              bool developer_build) {
  PlayedHosts hosts{std::move(built_login_host), std::move(built_extra_hosts)};
  if (!options.login_host && !options.extra_hosts) {
    return hosts;
  }
  if (!developer_build) {
    hosts.refused = true;
    return hosts;
  }
  hosts.login_host = options.login_host.value_or(hosts.login_host);
  hosts.extra_hosts = options.extra_hosts.value_or(hosts.extra_hosts);
  return hosts;
}

WindowsStart SplitWindowsStart(std::u16string_view command_line) {
  const std::vector<WindowsArgument> arguments = ParseWindowsCommandLine(command_line);
  WindowsStart start;
  start.args.push_back(Utf16ToUtf8(arguments[0].text));
  for (size_t i = 1; i < arguments.size(); ++i) {
    if (arguments[i].text != u"--") {
      continue;
    }
    for (size_t j = 1; j <= i; ++j) {
      start.args.push_back(Utf16ToUtf8(arguments[j].text));
    }
    start.launch_parameters =
        std::u16string(WindowsCommandLineRest(command_line, arguments[i].end));
    return start;
  }
  start.launch_parameters = std::u16string(WindowsCommandLineTail(command_line));
  return start;
}

}  // namespace gameshell
