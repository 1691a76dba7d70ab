#include <QString>

#include <cstdio>
#include <string>
#include <vector>

#include "app/build_config.h"
#include "app/core/command_line.h"
#include "app/core/start_refusal.h"
#include "app/core/start_url.h"
#include "app/qt/game_browser_app.h"
#include "app/qt/start_refusal_report.h"
#include "platform/process_environment.h"
#include "platform/process_limits.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv, argv + argc);
  // The engine runs its own helper executable for renderers and other sub-processes; a command
  // line meant for one has nothing to do here.
  if (gameshell::IsEngineSubprocessCommandLine(args, true)) {
    return 0;
  }
  const gameshell::ShellOptions options = gameshell::TakeShellOptions(args);
  if (options.engine_failed) {
    return gameshell::ReportStartRefusal(gameshell::EngineFailedRefusal(*options.engine_failed),
                                         options.errors_in_window);
  }
  if (options.refused_cache_dir) {
    return gameshell::ReportStartRefusal(
        gameshell::CacheDirectoryRefusal(*options.refused_cache_dir), options.errors_in_window);
  }
  // The working directory is the cache root: game paths would be written among the user's own
  // files and settings.
  if (gameshell::platform::WorkingDirectoryIsHome()) {
    return gameshell::ReportStartRefusal(
        gameshell::HomeDirectoryRefusal(gameshell::platform::WorkingDirectoryForDisplay()),
        options.errors_in_window);
  }
  gameshell::EngineOptions engine_options;
  engine_options.remote_debugging = gameshell::kRemoteDebugging;
  engine_options.command_line_switches = gameshell::kRemoteDebugging;
  for (const std::string& ignored :
       gameshell::IgnoredArguments(args, engine_options.command_line_switches)) {
    std::fprintf(
        stderr,
        "gameshell: ignoring the argument \"%s\": it is no launch parameter (key:value)%s\n",
        ignored.c_str(),
        ignored.starts_with("-") && !engine_options.command_line_switches
            ? ", and a player's build passes no switch to the engine"
            : "");
  }
  if (gameshell::platform::RunsAsRoot()) {
    engine_options.sandbox = false;
    std::fprintf(stderr,
                 "gameshell: running as root, so the pages run without the engine's "
                 "sandbox; start it as an ordinary user\n");
  }
  // Another host without a rebuild, for developers only: a player's command line may come from a
  // web page.
  const gameshell::PlayedHosts played = gameshell::ChoosePlayedHosts(
      options, gameshell::kLoginHost, gameshell::kExtraHosts, gameshell::kRemoteDebugging);
  if (played.refused) {
    std::fprintf(stderr,
                 "gameshell: ignoring --login-host and --extra-hosts: a player's build plays "
                 "only against the hosts it was built for\n");
  }
  const std::string& login_host = played.login_host;
  const std::string& extra_hosts = played.extra_hosts;
  gameshell::platform::RaiseOpenFileLimit();
  std::u16string launch_parameters =
      QString::fromLocal8Bit(gameshell::LaunchParametersFromArgs(args)).toStdU16String();
  gameshell::GameBrowserApp app(
      gameshell::BuildStartUrl(launch_parameters, gameshell::LoginPageUrl(login_host)),
      gameshell::GameHosts(login_host, extra_hosts), engine_options, options.errors_in_window);
  return app.Run(args);
}
