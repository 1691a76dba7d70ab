#pragma once

#include <memory>
#include <string>

#include "bridge/core/bridge_dispatcher.h"
#include "bridge/core/launcher.h"
#include "bridge/qt/page_bridge.h"
#include "platform/qt/system_launcher_host.h"

namespace gameshell {

class CacheIndex;
class GameClient;
class GameWindowDelegate;

// The browser side of the page functions: each message of a game's page becomes a command on the
// game window, the cache index, the client (which ends the game), the launcher library or the
// desktop, run at once.
// Thread: UI.
class GameBridge final : public BridgeMessageHandler {
 public:
  // `window`, `index` and `client` must outlive the bridge.
  GameBridge(GameWindowDelegate* window, CacheIndex* index, GameClient* client);
  ~GameBridge();

  // The launcher library's services and file name; tests substitute both.
  void SetLauncherHostForTesting(std::unique_ptr<SystemLauncherHost> host) {
    launcher_host_ = std::move(host);
  }
  void SetLauncherLibraryNameForTesting(std::string name) {
    launcher_library_name_ = std::move(name);
  }

  // BridgeMessageHandler:
  void OnBridgeMessage(QWebEnginePage* page, const BridgeMessage& message) override;

 private:
  class Commands;

  GameWindowDelegate* const window_;
  CacheIndex* const index_;
  GameClient* const client_;
  BridgeDispatcher dispatcher_;
  std::unique_ptr<SystemLauncherHost> launcher_host_ = std::make_unique<SystemLauncherHost>();
  std::string launcher_library_name_ = kLauncherLibraryName;
};

}  // namespace gameshell
