#include "client/qt/game_client.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include "base/qt/ui_thread.h"
#include "cache/qt/profile_cache_hooks.h"
#include "client/qt/dev_tools_key_filter.h"
#include "client/qt/game_page.h"
#include "client/qt/page_bridge_commands.h"
#include "client/qt/popup_titler.h"
#include "client/qt/request_guard.h"
#include "window/qt/browser_window.h"
#include "window/qt/first_paint_cover.h"
#include "window/qt/game_window_delegate.h"
#include "window/qt/loading_window.h"

namespace {

constexpr char kDevToolsTitle[] = "DEVTOOL";
constexpr QSize kPopupSize{800, 600};
constexpr QSize kDevToolsSize{1024, 700};
// What an opener writes into a new popup, it writes at once.
constexpr int kWrittenPopupSettleMs = 500;
// A login page that answers within this long needs no loading window.
constexpr int kLoadingWindowDelayMs = 400;

}  // namespace

GameClient::GameClient(QWebEngineProfile* profile, gameshell::GameHosts game_hosts)
    : profile_(profile),
      resource_cache_(std::move(game_hosts)),
      cache_hooks_(std::make_unique<ProfileCacheHooks>(&resource_cache_, profile)),
      request_guard_(std::make_unique<RequestGuard>(resource_cache_.hosts(),
                                                    RequestGuard::Scope::kProfile,
                                                    cache_hooks_->request_interceptor())) {
  GS_REQUIRE_UI_THREAD();
  profile_->setUrlRequestInterceptor(request_guard_.get());
  // A page opens a popup only from the player's own gesture (a click on a link); without it the
  // engine's popup blocker refuses.
  profile_->settings()->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
}

GameClient::~GameClient() {
  GS_REQUIRE_UI_THREAD();
  // Windows still open at shutdown go first: pages must not outlive their profile.
  for (const QPointer<QWebEnginePage>& page : browser_list_) {
    if (BrowserWindow* window = BrowserWindow::ForPage(page)) {
      delete window;
    }
  }
  profile_->setUrlRequestInterceptor(nullptr);
  request_guard_.reset();
  // Downloads still running end here, while the cache they would store into is alive.
  cache_hooks_.reset();
}

GamePage* GameClient::CreatePage(PageRole role, QObject* parent) {
  GS_REQUIRE_UI_THREAD();
  auto* page = new GamePage(profile_, this, /*dev_tools=*/role == PageRole::kDevTools, parent);
  if (role != PageRole::kDevTools) {
    PageBridge::Install(page, resource_cache_.hosts(), this);
    page->setUrlRequestInterceptor(new RequestGuard(
        resource_cache_.hosts(),
        role == PageRole::kGame ? RequestGuard::Scope::kGameWindow : RequestGuard::Scope::kPopup,
        nullptr, page));
  }
  return page;
}

QWebEngineView* GameClient::CreateBrowserView(PageRole role, GamePage* page) {
  GS_REQUIRE_UI_THREAD();
  auto* view = new QWebEngineView();
  if (page) {
    page->setParent(view);
  } else {
    page = CreatePage(role, view);
  }
  view->setPage(page);
  new DevToolsKeyFilter(view, this);
  browser_list_.emplace_back(page);
  return view;
}

BrowserWindow* GameClient::CreateBrowserWindow(QWebEngineView* view,
                                               std::shared_ptr<GameWindowDelegate> delegate) {
  GS_REQUIRE_UI_THREAD();
  auto* window = new BrowserWindow(view, std::move(delegate), BrowserWindow::Kind::kBrowserView);
  connect(view->page(), &QWebEnginePage::loadFinished, this,
          [this, page = QPointer<QWebEnginePage>(view->page())] { OnLoadFinished(page); });
  connect(window, &BrowserWindow::BrowserClosed, this, &GameClient::OnBrowserClosed);
  return window;
}

QWebEnginePage* GameClient::CreatePopup() {
  GS_REQUIRE_UI_THREAD();
  // The engine (Qt 6.4) crashes the whole process when a view shows a popup whose first, empty
  // document its opener has written into (window.open() then document.write): the popup stays
  // without a view until it has navigated somewhere, which is safe to show; one still empty a
  // moment later but written is shown as a copy of what was written.
  GamePage* page = CreatePage(PageRole::kPopup, this);
  connect(page, &QWebEnginePage::urlChanged, this, [this, page](const QUrl& url) {
    if (!url.isEmpty() && url.scheme() != QLatin1String("about")) {
      ShowPopup(page);
    }
  });
  // Closed by its opener before it showed anything.
  connect(page, &QWebEnginePage::windowCloseRequested, this, [page] { page->deleteLater(); });
  QTimer::singleShot(kWrittenPopupSettleMs, page, [this, page] {
    page->toHtml([this, popup = QPointer<GamePage>(page)](const QString& html) {
      if (popup && !BrowserWindow::ForPage(popup) && !IsEmptyDocument(html)) {
        ShowWrittenPopup(popup, html);
      }
    });
  });
  return page;
}

void GameClient::ShowPopup(GamePage* page, const QString& written_by) {
  GS_REQUIRE_UI_THREAD();
  if (BrowserWindow::ForPage(page)) {
    return;
  }
  page->disconnect(this);
  QWebEngineView* view = CreateBrowserView(PageRole::kPopup, page);
  BrowserWindow* window = CreateBrowserWindow(view, nullptr);
  // Unlike the game window, a popup is titled by its page, and by its origin when that is not
  // one of the game's.
  new PopupTitler(window, view, resource_cache_.hosts(), written_by);
  window->resize(kPopupSize);
  window->show();
}

void GameClient::ShowWrittenPopup(GamePage* written, const QString& html) {
  GS_REQUIRE_UI_THREAD();
  PopupTitler::AskOrigin(
      written, [this, written = QPointer<GamePage>(written), html](const QString& origin) {
        if (!written || BrowserWindow::ForPage(written)) {
          return;
        }
        written->disconnect(this);
        written->deleteLater();
        GamePage* copy = CreatePage(PageRole::kPopup, this);
        // Without a base address: one of the writer's origin trips the engine's check of the
        // process that may show it (the processes are per origin). The copy names its writer.
        copy->setHtml(html);
        // "null" (an opaque writer) still names no game origin.
        ShowPopup(copy, origin.isEmpty() ? QStringLiteral("null") : origin);
      });
}

bool GameClient::IsEmptyDocument(const QString& html) {
  QString bare = html;
  bare.remove(QRegularExpression(QStringLiteral("\\s")));
  return bare == QLatin1String("<html><head></head><body></body></html>") || bare.isEmpty();
}

void GameClient::ShowLoadingWindowUntilTheGameShows() {
  GS_REQUIRE_UI_THREAD();
  QTimer::singleShot(kLoadingWindowDelayMs, this, [this] {
    if (window_shown_ || loading_window_ || browser_list_.empty()) {
      return;
    }
    loading_window_ = std::make_unique<LoadingWindow>();
    connect(loading_window_.get(), &LoadingWindow::ClosedByPlayer, this,
            [this] { CloseAllWindows(CloseMode::kForce); });
    loading_window_->show();
  });
}

void GameClient::ShowDevTools(QWebEnginePage* page) {
  GS_REQUIRE_UI_THREAD();
  if (!page) {
    return;
  }
  if (BrowserWindow* open = BrowserWindow::ForPage(page->devToolsPage())) {
    open->raise();
    open->activateWindow();
    return;
  }
  QWebEngineView* view = CreateBrowserView(PageRole::kDevTools, nullptr);
  auto* window = new BrowserWindow(view, nullptr, BrowserWindow::Kind::kDevTools);
  connect(window, &BrowserWindow::BrowserClosed, this, &GameClient::OnBrowserClosed);
  window->setWindowTitle(QString::fromUtf8(kDevToolsTitle));
  window->resize(kDevToolsSize);
  page->setDevToolsPage(view->page());
  window->show();
}

void GameClient::CloseAllWindows(CloseMode mode) {
  if (!OnUiThread()) {
    // The posted call is dropped if the client is gone by then.
    QMetaObject::invokeMethod(
        this, [this, mode] { CloseAllWindows(mode); }, Qt::QueuedConnection);
    return;
  }
  // Closing removes entries from the list as it goes.
  const std::vector<QPointer<QWebEnginePage>> open = browser_list_;
  for (const QPointer<QWebEnginePage>& page : open) {
    if (BrowserWindow* window = BrowserWindow::ForPage(page)) {
      window->CloseWindow(mode);
    }
  }
}

void GameClient::SetWindowDelegate(std::shared_ptr<GameWindowDelegate> delegate) {
  GS_REQUIRE_UI_THREAD();
  window_delegate_ = std::move(delegate);
}

void GameClient::OnBridgeMessage(QWebEnginePage* page, const gameshell::BridgeMessage& message) {
  GS_REQUIRE_UI_THREAD();
  PageBridgeCommands commands(this, page);
  dispatcher_.OnMessage(message, commands);
}

void GameClient::OnBrowserClosed(QWebEnginePage* page) {
  GS_REQUIRE_UI_THREAD();
  for (auto it = browser_list_.begin(); it != browser_list_.end(); ++it) {
    if (*it == page) {
      browser_list_.erase(it);
      break;
    }
  }
  if (browser_list_.empty()) {
    resource_cache_.SaveAndWait();
    emit LastBrowserClosed();
    QCoreApplication::quit();
  }
}

void GameClient::OnLoadFinished(QWebEnginePage* page) {
  GS_REQUIRE_UI_THREAD();
  BrowserWindow* window = BrowserWindow::ForPage(page);
  if (!window || window->kind() != BrowserWindow::Kind::kBrowserView || window_shown_) {
    return;
  }
  window_shown_ = true;
  new FirstPaintCover(window->view());
  window->show();
  if (loading_window_) {
    loading_window_->Dismiss();
    loading_window_.reset();
  }
}
