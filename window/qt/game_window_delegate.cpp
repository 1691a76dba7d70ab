#include "window/qt/game_window_delegate.h"

#include <QGuiApplication>
#include <QIcon>
#include <QScreen>
#include <QWebEnginePage>
#include <QWebEngineView>

#include "client/qt/ui_thread.h"
#include "window/qt/browser_window.h"

GameWindowDelegate::GameWindowDelegate(QWebEngineView* browser_view)
    : browser_view_(browser_view) {}

void GameWindowDelegate::OnWindowCreated(BrowserWindow* window) {
  GS_REQUIRE_UI_THREAD();
  window->setWindowTitle(QString::fromUtf8(kTitle));
  window->setMinimumSize(kMinimumSize);
  window->setMaximumSize(kMaximumSize);
  window->resize(kInitialSize);
  if (QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen()) {
    QRect area = screen->availableGeometry();
    window->move(area.center() - QPoint(kInitialSize.width() / 2, kInitialSize.height() / 2));
  }
  if (browser_view_) {
    browser_view_->setFocus();
  }
  QIcon icon(QString::fromUtf8(kIconResource));
  if (!icon.isNull()) {
    window->setWindowIcon(icon);
  }
}

bool GameWindowDelegate::CanClose(BrowserWindow* window) {
  GS_REQUIRE_UI_THREAD();
  QWebEnginePage* page = browser_view_ ? browser_view_->page() : nullptr;
  if (can_close_) {
    return page ? window->TryCloseBrowser() : false;
  }
  if (page) {
    page->runJavaScript(QString::fromUtf8(kCloseHook));
  }
  return false;
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
