#pragma once

#include <optional>
#include <string>
#include <vector>

namespace gameshell {

// The shell from its command line to its exit code, on every system: `args` are what its own
// options are read from (UTF-8, the program's name first); `launch_parameters` the game's, as
// UTF-16 text, or, where the system splits command lines (POSIX), none: then they are the
// arguments that are no option of the shell's. `built`: what the build fixed (its
// "app/build_config.h"). Thread: the main thread, before any other starts.
struct BuiltFor {
  const char* login_host;
  const char* extra_hosts;
  bool developer_build;
};
int ShellMain(std::vector<std::string> args,
              std::optional<std::u16string> launch_parameters,
              const BuiltFor& built);

}  // namespace gameshell
