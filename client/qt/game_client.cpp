#include "client/qt/game_client.h"

#include <QWebEnginePage>
#include <QWebEngineView>

#include "base/qt/ui_thread.h"
#include "client/qt/game_page.h"

namespace gameshell {

GameClient::~GameClient() {
  GS_REQUIRE_UI_THREAD();
  for (const QPointer<QWebEnginePage>& page : browser_list_) {
    delete BrowserWindow::ForPage(page);
  }
}

BrowserWindow* GameClient::OpenBrowser(GamePage* page, WindowDelegate* delegate) {
  GS_REQUIRE_UI_THREAD();
  auto* view = new QWebEngineView();
  page->setParent(view);
  view->setPage(page);
  browser_list_.emplace_back(page);
  auto* window = new BrowserWindow(view, delegate);
  connect(window, &BrowserWindow::BrowserClosed, this, &GameClient::OnBrowserClosed);
  emit BrowserOpened(window);
  return window;
}

void GameClient::CloseAllBrowsers(CloseMode mode) {
  if (!OnUiThread()) {
    // The posted call is dropped if the client is gone by then.
    QMetaObject::invokeMethod(
        this, [this, mode] { CloseAllBrowsers(mode); }, Qt::QueuedConnection);
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

void GameClient::CloseGame() {
  CloseAllBrowsers(CloseMode::kForce);
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
    emit LastBrowserClosed();
  }
}

}  // namespace gameshell
