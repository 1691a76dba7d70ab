#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/core/browser_switches.h"
#include "base/core/game_hosts.h"

namespace gameshell {

// The browser process: starts the engine with the shell's switches, opens the game (GameSession)
// once the engine is up, and runs the event loop until the game's last browser has closed.
// Thread: UI (the main thread).
class GameBrowserApp {
 public:
  // `errors_in_window`: an engine that cannot start is also said in a window (a start from the
  // menu).
  GameBrowserApp(std::string start_url,
                 GameHosts game_hosts,
                 EngineOptions engine_options,
                 bool errors_in_window = false);
  ~GameBrowserApp();

  // The process exit code: 0 after the last browser closed, non-zero when the engine, the page or
  // the window could not be created (one line on stderr says which).
  int Run(const std::vector<std::string>& args);

 private:
  const std::string start_url_;
  const GameHosts game_hosts_;
  const EngineOptions engine_options_;
  const bool errors_in_window_;
};

// The engine's messages are not shown (the shell keeps no log); a fatal one ends the process with
// one line on stderr and exit code 2, and, with `errors_in_window`, a window that says it.
void InstallEngineMessageHandler(bool errors_in_window);

// The shell's icons and Qt configuration.
void InitShellResources();

// Qt reads no configuration and loads no plugin from outside its own installation (the cache root
// may be the executable's directory). Before the application object exists and right after.
void ConfineQtToItsInstallation();

}  // namespace gameshell
