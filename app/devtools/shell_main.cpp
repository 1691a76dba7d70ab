#include "app/devtools/shell_main.h"

#include <cstdio>

#include "app/core/command_line.h"
#include "app/core/start_refusal.h"
#include "app/core/start_url.h"
#include "app/devtools/chromium_command_line.h"
#include "app/devtools/chromium_shell.h"
#include "base/core/text_conversion.h"
#include "platform/browser_process.h"
#include "platform/message_box_window.h"
#include "platform/process_environment.h"
#include "platform/termination_signals.h"

namespace {

// On stderr, and, where the player started the game from the menu, in a box.
int Refuse(const gameshell::StartRefusal& refusal, bool in_window) {
  if (!refusal.said_on_stderr) {
    std::fprintf(stderr, "gameshell: %s\n", refusal.english.c_str());
    std::fflush(stderr);
  }
  if (in_window) {
    gameshell::platform::MessageBoxWindow::ShowAndWait(
        {"Varnholt", refusal.chinese + "\n\n" + refusal.english_sentences, /*error=*/true, 0});
  }
  return refusal.exit_code;
}

}  // namespace

namespace gameshell {

int ShellMain(std::vector<std::string> args,
              std::optional<std::u16string> launch_parameters,
              const BuiltFor& built) {
  // A command line meant for one of an engine's sub-processes starts no game: the same program
  // name may be handed one by an engine that runs the shell's executable for its helpers.
  if (gameshell::IsEngineSubprocessCommandLine(args, true)) {
    return 0;
  }
  gameshell::ShellOptions options = gameshell::TakeShellOptions(args);
#ifdef _WIN32
  // A Windows program started from its shortcut has no console to say anything on.
  options.errors_in_window = true;
#endif
  if (options.in_player_cache && !options.refused_cache_dir) {
    std::string directory;
    if (!gameshell::platform::EnterPlayerCacheDirectory(&directory)) {
      std::fprintf(stderr, "gameshell: cannot use the game's cache directory %s\n",
                   directory.c_str());
      options.refused_cache_dir = directory;
    }
  }
  if (options.refused_cache_dir) {
    return Refuse(gameshell::CacheDirectoryRefusal(*options.refused_cache_dir),
                  options.errors_in_window);
  }
  // The working directory is the cache root: game paths would be written among the user's own
  // files and settings.
  if (gameshell::platform::WorkingDirectoryIsHome()) {
    return Refuse(
        gameshell::HomeDirectoryRefusal(gameshell::platform::WorkingDirectoryForDisplay()),
        options.errors_in_window);
  }
  for (const std::string& ignored : gameshell::IgnoredArguments(args, false)) {
    std::fprintf(stderr,
                 "gameshell: ignoring the argument \"%s\": it is no launch parameter (key:value)\n",
                 ignored.c_str());
  }
  const std::string browser =
      gameshell::platform::FindExecutable(gameshell::ChromiumBrowserNames());
  if (browser.empty()) {
#ifdef _WIN32
    return Refuse(gameshell::EdgeMissingRefusal(), options.errors_in_window);
#else
    return Refuse(gameshell::BrowserMissingRefusal(), options.errors_in_window);
#endif
  }
  const gameshell::PlayedHosts played = gameshell::ChoosePlayedHosts(
      options, built.login_host, built.extra_hosts, built.developer_build);
  if (played.refused) {
    std::fprintf(stderr,
                 "gameshell: ignoring --login-host and --extra-hosts: a player's build plays "
                 "only against the hosts it was built for\n");
  }
  const std::string& login_host = played.login_host;
  const std::string& extra_hosts = played.extra_hosts;
  gameshell::ChromiumShell::Settings settings{
      browser,
      gameshell::BuildStartUrl(
          launch_parameters.value_or(Utf8ToUtf16(gameshell::LaunchParametersFromArgs(args))),
          gameshell::LoginPageUrl(login_host)),
      gameshell::GameHosts(login_host, extra_hosts), true, built.developer_build};
  settings.errors_in_window = options.errors_in_window;
  if (gameshell::platform::RunsAsRoot()) {
    settings.sandbox = false;
    std::fprintf(stderr,
                 "gameshell: running as root, so the pages run without the browser's sandbox; "
                 "start it as an ordinary user\n");
  }
  gameshell::ChromiumShell shell(std::move(settings));
  gameshell::platform::WatchTerminationSignals([&shell] { shell.RequestClose(); });
  const int exit_code = shell.Run();
  if (!shell.start_failure().empty()) {
    return Refuse(gameshell::EngineFailedRefusal(shell.start_failure()), options.errors_in_window);
  }
  return exit_code;
}

}  // namespace gameshell
