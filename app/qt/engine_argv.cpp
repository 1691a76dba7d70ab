#include "app/qt/engine_argv.h"

#include "app/core/browser_switches.h"

namespace gameshell {

std::vector<std::string> EngineArgv(const std::vector<std::string>& args,
                                    const EngineOptions& options) {
  std::vector<std::string> argv;
  argv.push_back(args.empty() ? std::string("gameshell") : args.front());
  // Qt reads Chromium switches only after this marker; launch parameters before it would be
  // taken for Qt's own options, so none go there.
  argv.push_back("--webEngineArgs");
  for (const EngineSwitch& engine_switch : EngineSettingSwitches(options)) {
    argv.push_back(FormatSwitch(engine_switch));
  }
  for (const EngineSwitch& engine_switch : BrowserSwitches()) {
    argv.push_back(FormatSwitch(engine_switch));
  }
  for (size_t i = 1; options.command_line_switches && i < args.size(); ++i) {
    if (args[i].starts_with("--") && !OverridesEngineOptions(args[i], options)) {
      argv.push_back(args[i]);
    }
  }
  return argv;
}

EngineCommandLine::EngineCommandLine(const std::vector<std::string>& args,
                                     const EngineOptions& options)
    : strings_(EngineArgv(args, options)) {
  for (std::string& arg : strings_) {
    pointers_.push_back(arg.data());
  }
  argc_ = static_cast<int>(pointers_.size());
  pointers_.push_back(nullptr);
}

}  // namespace gameshell
