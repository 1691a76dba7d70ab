#include "window/qt/game_window_delegate.h"

#include <QFile>
#include <QGuiApplication>
#include <QIcon>
#include <QScreen>
#include <QWebEnginePage>
#include <QWebEngineView>

#include "base/qt/ui_thread.h"
#include "window/core/close_hook.h"
#include "window/core/window_size.h"
#include "window/qt/browser_window.h"
#include "window/qt/frame_extents.h"
#include "window/qt/screen_fit.h"

namespace gameshell {

GameWindowDelegate::GameWindowDelegate(GameHosts game_hosts) : game_hosts_(std::move(game_hosts)) {}

void GameWindowDelegate::OnWindowCreated(BrowserWindow* window) {
  GS_REQUIRE_UI_THREAD();
  browser_view_ = window->view();
  window->setWindowTitle(QString::fromUtf8(kTitle));
  window->setMinimumSize(kMinimumSize);
  window->setMaximumSize(kMaximumSize);
  QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
  const QRect area = screen ? screen->availableGeometry() : QRect();
  // On a screen smaller than the window, the largest window of the same shape that fits.
  const WindowSize size =
      FitWindowSize({kInitialSize.width(), kInitialSize.height()}, {area.width(), area.height()},
                    {kMinimumSize.width(), kMinimumSize.height()});
  window->resize(size.width, size.height);
  if (screen) {
    window->move(area.center() - QPoint(size.width / 2, size.height / 2));
    // Where the window manager tells its frame before the window maps, the window gets its final
    // size now: the page's first script then sees the size it keeps.
    if (const std::optional<FrameMargins> frame = AskFrameExtents(window)) {
      const QRect client = window->geometry();
      const WindowRect placed =
          FitFramedWindow({client.x(), client.y(), client.width(), client.height()}, *frame,
                          {area.x(), area.y(), area.width(), area.height()},
                          {kInitialSize.width(), kInitialSize.height()},
                          {kMinimumSize.width(), kMinimumSize.height()});
      window->setGeometry(placed.x, placed.y, placed.width, placed.height);
    }
  }
  // Fitted again with the window manager's frame, once that is known.
  new ScreenFit(window, kInitialSize);
  // The page sizes itself from its first script on, while the window is still hidden: the view
  // takes the window's size now, not when it is first shown.
  if (browser_view_) {
    browser_view_->resize(window->size());
    browser_view_->setFocus();
  }
  const QIcon icon = WindowIcon();
  if (!icon.isNull()) {
    window->setWindowIcon(icon);
  }
}

bool GameWindowDelegate::CanClose(BrowserWindow*, QString* instead) {
  GS_REQUIRE_UI_THREAD();
  QWebEnginePage* page = browser_view_ ? browser_view_->page() : nullptr;
  if (!page) {
    return false;
  }
  if (can_close_ || !game_hosts_.AllowsUrl(page->url().toEncoded().toStdString())) {
    return true;
  }
  // The game's own hook, as the game has always had it run; without one, or when it throws, the
  // player would be left with a window that never closes.
  *instead = QString::fromStdString(CloseHookScript());
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

}  // namespace gameshell
