#pragma once

#include <memory>
#include <string>
#include <vector>

class GameClient;
class QWebEngineProfile;

// The browser process: starts the engine with the shell's switches, builds the game's browser and
// window once the engine is up, and runs the event loop until the last browser has closed.
// Thread: UI (the main thread).
class GameBrowserApp {
 public:
  explicit GameBrowserApp(std::string start_url);
  ~GameBrowserApp();

  // The process exit code: 0 after the last browser closed, non-zero when the engine, the page or
  // the window could not be created (one line on stderr says which).
  int Run(const std::vector<std::string>& args);

  // Builds the client, loads the cache index, and opens the game's browser and window.
  // Public for tests that drive an engine they started themselves.
  static GameClient* OnContextInitialized(QWebEngineProfile* profile, const std::string& url);

 private:
  const std::string start_url_;
};

// The engine's messages are not shown (the shell keeps no log); a fatal one ends the process with
// one line on stderr and a non-zero exit code.
void InstallEngineMessageHandler();

// The shell's icons and page scripts.
void InitShellResources();
