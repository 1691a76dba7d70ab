#include <string>
#include <vector>

#include "app/build_config.h"
#include "app/devtools/shell_main.h"

int main(int argc, char** argv) {
  return gameshell::ShellMain(
      std::vector<std::string>(argv, argv + argc), std::nullopt,
      {gameshell::kLoginHost, gameshell::kExtraHosts, gameshell::kRemoteDebugging});
}
