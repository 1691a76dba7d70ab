#include <cstdio>
#include <string>
#include <vector>

#include "app/build_config.h"
#include "app/core/command_line.h"
#include "app/core/start_refusal.h"
#include "app/core/start_url.h"
#include "app/devtools/chromium_command_line.h"
#include "app/devtools/chromium_shell.h"
#include "base/core/text_conversion.h"
#include "platform/browser_process.h"
#include "platform/process_environment.h"
#include "platform/termination_signals.h"

namespace {

int Refuse(const gameshell::StartRefusal& refusal) {
  if (!refusal.said_on_stderr) {
    std::fprintf(stderr, "gameshell: %s\n", refusal.english.c_str());
  }
  return refusal.exit_code;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv, argv + argc);
  const gameshell::ShellOptions options = gameshell::TakeShellOptions(args);
  if (options.refused_cache_dir) {
    return Refuse(gameshell::CacheDirectoryRefusal(*options.refused_cache_dir));
  }
  // The working directory is the cache root: game paths would be written among the user's own
  // files and settings.
  if (gameshell::platform::WorkingDirectoryIsHome()) {
    return Refuse(
        gameshell::HomeDirectoryRefusal(gameshell::platform::WorkingDirectoryForDisplay()));
  }
  for (const std::string& ignored : gameshell::IgnoredArguments(args, false)) {
    std::fprintf(stderr,
                 "gameshell: ignoring the argument \"%s\": it is no launch parameter (key:value)\n",
                 ignored.c_str());
  }
  const std::string browser =
      gameshell::platform::FindExecutable(gameshell::ChromiumBrowserNames());
  if (browser.empty()) {
    return Refuse(gameshell::BrowserMissingRefusal());
  }
  const gameshell::PlayedHosts played = gameshell::ChoosePlayedHosts(
      options, gameshell::kLoginHost, gameshell::kExtraHosts, gameshell::kRemoteDebugging);
  if (played.refused) {
    std::fprintf(stderr,
                 "gameshell: ignoring --login-host and --extra-hosts: a player's build plays "
                 "only against the hosts it was built for\n");
  }
  const std::string& login_host = played.login_host;
  const std::string& extra_hosts = played.extra_hosts;
  gameshell::ChromiumShell::Settings settings{
      browser,
      gameshell::BuildStartUrl(gameshell::Utf8ToUtf16(gameshell::LaunchParametersFromArgs(args)),
                               gameshell::LoginPageUrl(login_host)),
      gameshell::GameHosts(login_host, extra_hosts), true, gameshell::kRemoteDebugging};
  if (gameshell::platform::RunsAsRoot()) {
    settings.sandbox = false;
    std::fprintf(stderr,
                 "gameshell: running as root, so the pages run without the browser's sandbox; "
                 "start it as an ordinary user\n");
  }
  gameshell::ChromiumShell shell(std::move(settings));
  gameshell::platform::WatchTerminationSignals([&shell] { shell.RequestClose(); });
  return shell.Run();
}
