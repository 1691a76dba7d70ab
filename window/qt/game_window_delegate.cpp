#include "window/qt/game_window_delegate.h"

#include <QFile>
#include <QGuiApplication>
#include <QIcon>
#include <QScreen>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <memory>

#include "base/qt/ui_thread.h"
#include "window/core/window_size.h"
#include "window/qt/browser_window.h"

GameWindowDelegate::GameWindowDelegate(QWebEngineView* browser_view,
                                       gameshell::GameHosts game_hosts)
    : game_hosts_(std::move(game_hosts)), browser_view_(browser_view) {}

void GameWindowDelegate::OnWindowCreated(BrowserWindow* window) {
  GS_REQUIRE_UI_THREAD();
  window->setWindowTitle(QString::fromUtf8(kTitle));
  window->setMinimumSize(kMinimumSize);
  window->setMaximumSize(kMaximumSize);
  QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
  const QRect area = screen ? screen->availableGeometry() : QRect();
  // On a screen smaller than the window, the largest window of the same shape that fits.
  const gameshell::WindowSize size = gameshell::FitWindowSize(
      {kInitialSize.width(), kInitialSize.height()}, {area.width(), area.height()},
      {kMinimumSize.width(), kMinimumSize.height()});
  window->resize(size.width, size.height);
  if (screen) {
    window->move(area.center() - QPoint(size.width / 2, size.height / 2));
  }
  // The page sizes itself from its first script on, while the window is still hidden: the view
  // takes the window's size now, not when it is first shown.
  if (browser_view_) {
    browser_view_->resize(window->size());
  }
  if (browser_view_) {
    browser_view_->setFocus();
  }
  const QIcon icon = WindowIcon();
  if (!icon.isNull()) {
    window->setWindowIcon(icon);
  }
}

bool GameWindowDelegate::CanClose(BrowserWindow* window) {
  GS_REQUIRE_UI_THREAD();
  QWebEnginePage* page = browser_view_ ? browser_view_->page() : nullptr;
  const bool game_shown = page && game_hosts_.AllowsUrl(page->url().toEncoded().toStdString());
  if (can_close_ || !game_shown) {
    return page ? window->PageAgreedToClose() : false;
  }
  if (page) {
    // The game's own exit prompt decides, if the page answers at all: one stuck in a script
    // never runs the hook, and the player could never close the game.
    auto answered = std::make_shared<bool>(false);
    page->runJavaScript(QString::fromUtf8(kCloseHook),
                        [answered](const QVariant&) { *answered = true; });
    QTimer::singleShot(BrowserWindow::kHungPageMs, window, [answered, window] {
      if (!*answered) {
        window->CloseWindow(CloseMode::kForce);
      }
    });
  }
  return false;
}

QIcon GameWindowDelegate::WindowIcon() {
  QIcon icon(QString::fromUtf8(kIconResource));
  for (const char* larger :
       {":/icons/varnholt-48.png", ":/icons/varnholt-128.png", ":/icons/varnholt-256.png"}) {
    if (QFile::exists(QString::fromUtf8(larger))) {
      icon.addFile(QString::fromUtf8(larger));
    }
  }
  return icon;
}

void GameWindowDelegate::OnWindowDestroyed(BrowserWindow*) {
  GS_REQUIRE_UI_THREAD();
  browser_view_.clear();
}

void GameWindowDelegate::SetCanClose(bool can_close) {
  GS_REQUIRE_UI_THREAD();
  can_close_ = can_close;
}

void GameWindowDelegate::MaximizeWindow() {
  GS_REQUIRE_UI_THREAD();
  if (browser_view_ && browser_view_->window()) {
    browser_view_->window()->showMaximized();
  }
}
