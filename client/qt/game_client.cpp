#include "client/qt/game_client.h"

#include <QWebEnginePage>
#include <QWebEngineView>

#include "base/qt/ui_thread.h"

namespace gameshell {

GameClient::~GameClient() {
  GS_REQUIRE_UI_THREAD();
  for (const Browser& browser : browsers_) {
    delete browser.window;
  }
}

BrowserWindow* GameClient::OpenBrowser(GamePage* page, WindowDelegate* delegate) {
  GS_REQUIRE_UI_THREAD();
  auto* view = new QWebEngineView();
  page->setParent(view);
  view->setPage(page);
  auto* window = new BrowserWindow(view, delegate);
  browsers_.push_back({window, view, page});
  connect(window, &BrowserWindow::BrowserClosed, this, [this, window] { OnBrowserClosed(window); });
  emit BrowserOpened(window);
  return window;
}

BrowserWindow* GameClient::WindowOf(const QWebEnginePage* page) const {
  GS_REQUIRE_UI_THREAD();
  if (!page) {
    return nullptr;
  }
  for (const Browser& browser : browsers_) {
    if (browser.page == page) {
      return browser.window;
    }
  }
  return nullptr;
}

void GameClient::CloseGame() {
  GS_REQUIRE_UI_THREAD();
  // Closing removes entries from the list as it goes.
  const std::vector<Browser> open = browsers_;
  for (const Browser& browser : open) {
    if (browser.window) {
      browser.window->ForceClose();
    }
  }
}

void GameClient::OnBrowserClosed(BrowserWindow* window) {
  GS_REQUIRE_UI_THREAD();
  std::erase_if(browsers_, [window](const Browser& browser) { return browser.window == window; });
  if (browsers_.empty()) {
    emit LastBrowserClosed();
  }
}

}  // namespace gameshell
