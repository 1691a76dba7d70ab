#include <QString>

#include <string>
#include <vector>

#include "app/build_config.h"
#include "app/core/process_kind.h"
#include "app/core/start_url.h"
#include "app/qt/game_browser_app.h"
#include "platform/process_limits.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv, argv + argc);
  // The engine runs its own helper executable for renderers and other sub-processes; a command
  // line meant for one has nothing to do here.
  if (gameshell::ProcessKindFromCommandLine(args) != gameshell::ProcessKind::kBrowser) {
    return 0;
  }
  platform::RaiseOpenFileLimit();
  std::u16string launch_parameters =
      QString::fromLocal8Bit(gameshell::LaunchParametersFromArgs(args)).toStdU16String();
  GameBrowserApp app(
      gameshell::BuildStartUrl(launch_parameters, gameshell::LoginPageUrl(gameshell::kLoginHost)),
      gameshell::CacheHosts(gameshell::kLoginHost, gameshell::kCacheHosts));
  return app.Run(args);
}
