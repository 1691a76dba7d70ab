#include "app/core/process_kind.h"

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

ProcessKind ClassifyProcessKind(const std::optional<std::string>& type_switch) {
  if (!type_switch) {
    return ProcessKind::kBrowser;
  }
  return *type_switch == "renderer" ? ProcessKind::kRenderer : ProcessKind::kOther;
}

ProcessKind ProcessKindFromCommandLine(const std::vector<std::string>& args) {
  return ClassifyProcessKind(FindSwitchValue(args, "type"));
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

}  // namespace gameshell
