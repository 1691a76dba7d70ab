#pragma once

#include <QObject>
#include <QPointer>

#include <memory>
#include <vector>

#include "bridge/core/bridge_dispatcher.h"
#include "bridge/core/bridge_messages.h"
#include "bridge/core/launcher.h"
#include "bridge/qt/page_bridge.h"
#include "cache/core/resource_cache.h"
#include "platform/qt/system_launcher_host.h"
#include "window/core/close_mode.h"

class BrowserWindow;
class GamePage;
class GameWindowDelegate;
class ProfileCacheHooks;
class LoadingWindow;
class RequestGuard;
class QWebEngineProfile;
class QWebEnginePage;
class QWebEngineView;

// The one client of the browser process. Every browser (the game's page, popups, developer tools)
// is created through it; it keeps the list of open browsers, shows the game window after the
// first finished load, opens developer tools, receives the bridge's messages, owns the resource
// cache (hooked into the profile's requests) and the game window's delegate, and ends the event
// loop after the last browser has closed, saving the cache index first.
// Thread: UI, except CloseAllWindows, which may be called from any thread.
class GameClient : public QObject, public BridgeMessageHandler {
  Q_OBJECT

 public:
  // `game_hosts`: the hosts whose resources the cache may store and whose frames get the bridge.
  GameClient(QWebEngineProfile* profile, gameshell::GameHosts game_hosts);
  ~GameClient() override;

  enum class PageRole { kGame, kPopup, kDevTools };
  // A page of the shell's: pages of the game and its popups get the script bridge and their
  // guard; developer tools do not.
  GamePage* CreatePage(PageRole role, QObject* parent);
  // A new browser view with `page` (or a new page of `role`), counted as an open browser from now
  // on.
  QWebEngineView* CreateBrowserView(PageRole role = PageRole::kGame, GamePage* page = nullptr);
  // Puts a browser view in a window of its own and follows its loads and its closing.
  BrowserWindow* CreateBrowserWindow(QWebEngineView* view,
                                     std::shared_ptr<GameWindowDelegate> delegate);

  // A popup the page asked for, in its own window once it shows something.
  QWebEnginePage* CreatePopup();
  // Unless the game window shows within a moment, a small window says the game is loading until
  // it does; closing that window closes the game.
  void ShowLoadingWindowUntilTheGameShows();
  // Opens (or raises) the developer tools of `page` in a window titled "DEVTOOL".
  void ShowDevTools(QWebEnginePage* page);
  void CloseAllWindows(CloseMode mode);

  void SetWindowDelegate(std::shared_ptr<GameWindowDelegate> delegate);
  GameWindowDelegate* window_delegate() const { return window_delegate_.get(); }
  gameshell::ResourceCache& resource_cache() { return resource_cache_; }
  const std::vector<QPointer<QWebEnginePage>>& browser_list() const { return browser_list_; }

  // The launcher library's services and file name; tests substitute both.
  SystemLauncherHost& launcher_host() { return *launcher_host_; }
  void SetLauncherHost(std::unique_ptr<SystemLauncherHost> host) {
    launcher_host_ = std::move(host);
  }
  const std::string& launcher_library_name() const { return launcher_library_name_; }
  void SetLauncherLibraryName(std::string name) { launcher_library_name_ = std::move(name); }

  // BridgeMessageHandler:
  void OnBridgeMessage(QWebEnginePage* page, const gameshell::BridgeMessage& message) override;

 signals:
  // Emitted after the index was saved, right before the event loop is asked to quit.
  void LastBrowserClosed();

 private:
  // `written_by`: the origin of the page a copy was written by, which titles it.
  void ShowPopup(GamePage* page, const QString& written_by = QString());
  void ShowWrittenPopup(GamePage* written, const QString& html);
  static bool IsEmptyDocument(const QString& html);
  // A window of the browser has closed: the last to close saves the index and ends the loop.
  void OnBrowserClosed(QWebEnginePage* page);
  // The first finished load of a page in a browser view shows its window.
  void OnLoadFinished(QWebEnginePage* page);

  QWebEngineProfile* const profile_;
  std::vector<QPointer<QWebEnginePage>> browser_list_;
  std::shared_ptr<GameWindowDelegate> window_delegate_;
  bool window_shown_ = false;
  std::unique_ptr<LoadingWindow> loading_window_;
  // The index and its writer thread; the hooks that feed it go first.
  gameshell::ResourceCache resource_cache_;
  std::unique_ptr<ProfileCacheHooks> cache_hooks_;
  // In front of the cache on the profile: goes first.
  std::unique_ptr<RequestGuard> request_guard_;
  gameshell::BridgeDispatcher dispatcher_;
  std::unique_ptr<SystemLauncherHost> launcher_host_ = std::make_unique<SystemLauncherHost>();
  std::string launcher_library_name_ = gameshell::kLauncherLibraryName;
};
