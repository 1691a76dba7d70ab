#pragma once

#include <QObject>
#include <QPointer>

#include <memory>
#include <string>

#include "base/core/game_hosts.h"
#include "cache/core/resource_cache.h"
#include "client/qt/game_page.h"

class QWebEngineProfile;

namespace gameshell {

class GameBridge;
class GameClient;
class GameWindowDelegate;
class GameWindowPresenter;
class PopupWindows;
class ProfileCacheHooks;
class RequestGuard;

// One run of the game, and the owner of its parts: the resource cache on the profile's requests
// behind the request guard, the browsers (GameClient), the game's page in its window with the
// window's delegate, the popups and developer tools the pages open, and the page functions.
// Opening it opens the game; the run ends when the client's last browser has closed.
// Thread: UI.
class GameSession : public QObject {
  Q_OBJECT

 public:
  // Loads the cache index and opens the game's page on `start_url` in its window, which shows at
  // the page's first finished load. `profile` must outlive the session.
  GameSession(QWebEngineProfile* profile, const std::string& start_url, GameHosts game_hosts);
  ~GameSession() override;

  GameClient& client() { return *client_; }
  GameBridge& bridge() { return *bridge_; }
  GameWindowDelegate& window_delegate() { return *window_delegate_; }
  ResourceCache& resource_cache() { return resource_cache_; }
  // Null once the game window has closed.
  GamePage* game_page() const { return game_page_; }

  // What the cache says once on stderr (its root or its index refusing writes) shows in a box
  // too, for a player who started the game from the menu.
  void SayCacheTroubleInWindow();

 private:
  QWebEngineProfile* const profile_;
  ResourceCache resource_cache_;
  std::unique_ptr<ProfileCacheHooks> cache_hooks_;
  // In front of the cache on the profile.
  std::unique_ptr<RequestGuard> request_guard_;
  std::unique_ptr<GameWindowDelegate> window_delegate_;
  std::unique_ptr<GameClient> client_;
  std::unique_ptr<GameBridge> bridge_;
  std::unique_ptr<PopupWindows> popups_;
  std::unique_ptr<GameWindowPresenter> presenter_;
  QPointer<GamePage> game_page_;
};

}  // namespace gameshell
