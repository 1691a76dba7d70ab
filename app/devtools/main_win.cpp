#include <windows.h>

#include <string>

#include "app/build_config.h"
#include "app/core/command_line.h"
#include "app/devtools/shell_main.h"

// The GUI entry point: the launch parameters are the command line's tail as written, in UTF-16.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  const std::wstring whole = ::GetCommandLineW();
  gameshell::WindowsStart start =
      gameshell::SplitWindowsStart(std::u16string(whole.begin(), whole.end()));
  return gameshell::ShellMain(
      std::move(start.args), start.launch_parameters,
      {gameshell::kLoginHost, gameshell::kExtraHosts, gameshell::kRemoteDebugging});
}
