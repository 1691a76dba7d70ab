#include "client/qt/game_window_presenter.h"

#include <QTimer>
#include <QWebEnginePage>

#include "base/qt/ui_thread.h"
#include "window/qt/browser_window.h"
#include "window/qt/first_paint_cover.h"
#include "window/qt/loading_window.h"

namespace gameshell {

namespace {
// A login page that answers within this long needs no loading window.
constexpr int kLoadingWindowDelayMs = 400;
}  // namespace

GameWindowPresenter::GameWindowPresenter(BrowserWindow* game_window) : game_window_(game_window) {
  GS_REQUIRE_UI_THREAD();
  // Any finished load counts, the shell's own page of a server that is down included.
  connect(game_window->page(), &QWebEnginePage::loadFinished, this,
          &GameWindowPresenter::ShowGameWindow);
  QTimer::singleShot(kLoadingWindowDelayMs, this, &GameWindowPresenter::ShowLoadingWindow);
}

GameWindowPresenter::~GameWindowPresenter() = default;

void GameWindowPresenter::ShowLoadingWindow() {
  GS_REQUIRE_UI_THREAD();
  if (shown_ || !game_window_) {
    return;
  }
  loading_window_ = std::make_unique<LoadingWindow>();
  connect(loading_window_.get(), &LoadingWindow::ClosedByPlayer, this,
          &GameWindowPresenter::LoadingWindowClosed);
  loading_window_->show();
}

void GameWindowPresenter::ShowGameWindow() {
  GS_REQUIRE_UI_THREAD();
  if (shown_ || !game_window_) {
    return;
  }
  shown_ = true;
  new FirstPaintCover(game_window_->view());
  game_window_->show();
  if (loading_window_) {
    loading_window_->Dismiss();
    loading_window_.reset();
  }
}

}  // namespace gameshell
