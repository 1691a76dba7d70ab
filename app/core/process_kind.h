#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Which kind of process a command line starts. Engine-neutral; any thread.
namespace gameshell {

enum class ProcessKind {
  kBrowser,   // no "type" switch
  kRenderer,  // "type" is exactly "renderer"
  kOther,     // any other "type": GPU, utility and the rest
};

// The value of the last switch `name` ("--name=value", "-name=value"; "" when it has no value).
// Switches end at a bare "--", as in Chromium's command line.
std::optional<std::string> FindSwitchValue(const std::vector<std::string>& args,
                                           std::string_view name);

// Case-sensitive: "Renderer" is not a renderer.
ProcessKind ClassifyProcessKind(const std::optional<std::string>& type_switch);

ProcessKind ProcessKindFromCommandLine(const std::vector<std::string>& args);

// The launch parameters of a command line: every argument after the program name, joined with
// single blanks.
std::string LaunchParametersFromArgs(const std::vector<std::string>& args);

}  // namespace gameshell
