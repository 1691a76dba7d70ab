#include "client/qt/game_session.h"

#include <QApplication>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include "base/qt/ui_thread.h"
#include "cache/qt/profile_cache_hooks.h"
#include "client/qt/dev_tools_window.h"
#include "client/qt/game_bridge.h"
#include "client/qt/game_client.h"
#include "client/qt/game_features.h"
#include "client/qt/game_page.h"
#include "client/qt/game_page_recovery.h"
#include "client/qt/game_window_presenter.h"
#include "client/qt/popup_windows.h"
#include "client/qt/request_guard.h"
#include "client/qt/view_key_watcher.h"
#include "platform/qt/system_launcher_host.h"
#include "window/qt/browser_window.h"
#include "window/qt/game_window_delegate.h"

// Resources compiled into a static library are registered only when asked for (outside any
// namespace).
static void InitClientResources() {
  static const bool done = [] {
    Q_INIT_RESOURCE(bridge);
    Q_INIT_RESOURCE(client);
    return true;
  }();
  (void)done;
}

namespace gameshell {

namespace {

void ApplyGameBrowserSettings(QWebEngineSettings* settings) {
  settings->setAttribute(QWebEngineSettings::PluginsEnabled, true);
  settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);
  settings->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, true);
}

}  // namespace

GameSession::GameSession(QWebEngineProfile* profile,
                         const std::string& start_url,
                         GameHosts game_hosts)
    : profile_(profile),
      resource_cache_(game_hosts),
      cache_hooks_(std::make_unique<ProfileCacheHooks>(&resource_cache_, profile)),
      request_guard_(std::make_unique<RequestGuard>(game_hosts,
                                                    RequestGuard::Scope::kProfile,
                                                    cache_hooks_->request_interceptor())),
      window_delegate_(std::make_unique<GameWindowDelegate>(game_hosts)),
      client_(std::make_unique<GameClient>()),
      bridge_(std::make_unique<GameBridge>(window_delegate_.get(),
                                           &resource_cache_.index(),
                                           client_.get())),
      popups_(std::make_unique<PopupWindows>(client_.get(), game_hosts)) {
  GS_REQUIRE_UI_THREAD();
  InitClientResources();
  profile_->setUrlRequestInterceptor(request_guard_.get());
  // A page opens a popup only from the player's own gesture (a click on a link); without it the
  // engine's popup blocker refuses.
  profile_->settings()->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
  // The engine shows the shell no WebRTC connection to judge: no page's WebRTC gathers this
  // machine's or the player's network's addresses.
  profile_->settings()->setAttribute(QWebEngineSettings::WebRTCPublicInterfacesOnly, true);
  resource_cache_.Start();
  // The run ends with its last browser: the index's last lines reach the disk, then the loop ends.
  connect(client_.get(), &GameClient::LastBrowserClosed, this, [this] {
    resource_cache_.SaveAndWait();
    QCoreApplication::quit();
  });

  // Every browser's view opens its page's developer tools on F2.
  connect(client_.get(), &GameClient::BrowserOpened, this, [this](BrowserWindow* window) {
    QWebEngineView* view = window->view();
    connect(new ViewKeyWatcher(view, Qt::Key_F2), &ViewKeyWatcher::Pressed, this,
            [this, view = QPointer<QWebEngineView>(view)] {
              if (view) {
                ShowDevTools(view->page(), *client_);
              }
            });
  });

  game_page_ =
      new GamePage(profile, GamePage::Role::kGame, game_hosts, bridge_.get(), /*parent=*/nullptr);
  connect(game_page_, &GamePage::PopupOpened, popups_.get(), &PopupWindows::Adopt);
  ApplyGameBrowserSettings(game_page_->settings());
  const QUrl url(QString::fromUtf8(start_url), QUrl::TolerantMode);
  // Whether the login host answers is asked without the launch parameters.
  auto* recovery = new GamePageRecovery(game_page_, url, url.adjusted(QUrl::RemoveQuery));
  connect(game_page_, &GamePage::RetryRequested, recovery, &GamePageRecovery::RetryNow);
  // From the next turn of the loop: the engine is still committing the document.
  connect(game_page_, &GamePage::ForeignDocumentShown, recovery, &GamePageRecovery::LoadGame,
          Qt::QueuedConnection);
  // Sized before the page loads, so its first script sees the window's size.
  BrowserWindow* window = client_->OpenBrowser(game_page_, window_delegate_.get());
  new GameFeatures(game_page_, window, game_hosts);
  recovery->LoadGame();
  presenter_ = std::make_unique<GameWindowPresenter>(window);
  // Like the game's close command and the system's termination signals (the application's).
  connect(presenter_.get(), &GameWindowPresenter::LoadingWindowClosed, client_.get(),
          &GameClient::CloseGame);
}

void GameSession::SayCacheTroubleInWindow() {
  GS_REQUIRE_UI_THREAD();
  // Told on the thread that noticed; shown on this one, in a box like the launcher's: above the
  // game window, loading or not, while the game runs on.
  resource_cache_.SetTroubleReporter([session = QPointer<GameSession>(this)](
                                         const std::string& chinese, const std::string& english) {
    QMetaObject::invokeMethod(
        qApp,
        [session, text = chinese + "\n\n" + english + "."] {
          if (!session) {
            return;
          }
          QWebEngineView* view = session->window_delegate_->browser_view();
          SystemLauncherHost host;
          host.SetGameWindow(view ? session->client_->WindowOf(view->page()) : nullptr);
          host.ShowModalBox(false, text, kCacheTroubleTitle);
        },
        Qt::QueuedConnection);
  });
}

GameSession::~GameSession() {
  GS_REQUIRE_UI_THREAD();
  presenter_.reset();
  // Pages go first, the open browsers' and the popups' not shown yet: they must not outlive their
  // profile or the bridge they post to.
  client_.reset();
  popups_.reset();
  bridge_.reset();
  profile_->setUrlRequestInterceptor(nullptr);
  request_guard_.reset();
  // Downloads still running end here, while the cache they would store into is alive.
  cache_hooks_.reset();
}

}  // namespace gameshell
