#include "client/qt/game_window_presenter.h"

#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineScript>

#include "base/qt/ui_thread.h"
#include "window/qt/browser_window.h"
#include "window/qt/first_paint_cover.h"
#include "window/qt/loading_window.h"

namespace gameshell {

namespace {
// A login page that answers within this long needs no loading window.
constexpr int kLoadingWindowDelayMs = 400;
constexpr int kAskEveryMs = 20;
// Parsed, in a document of the web (not the empty one a page starts with, nor the shell's own
// page, whose load ends at once). Asked in the shell's own script world, out of the page's reach.
constexpr char kDocumentThereScript[] =
    "document.readyState !== 'loading' && /^https?:$/.test(location.protocol)";
}  // namespace

GameWindowPresenter::GameWindowPresenter(BrowserWindow* game_window) : game_window_(game_window) {
  GS_REQUIRE_UI_THREAD();
  // Drawn from the start, as a browser's page is, while the window waits to show: otherwise the
  // engine starts drawing only when the window shows, and the game's first frame comes half a
  // second later. The cover hides whatever comes before that frame.
  game_window->page()->setVisible(true);
  // Any finished load counts, the shell's own page of a server that is down included.
  connect(game_window->page(), &QWebEnginePage::loadFinished, this,
          &GameWindowPresenter::ShowGameWindow);
  QTimer::singleShot(kLoadingWindowDelayMs, this, &GameWindowPresenter::ShowLoadingWindow);
  // One resource that never arrives holds up the load's end for good, not the game.
  ask_.setInterval(kAskEveryMs);
  connect(&ask_, &QTimer::timeout, this, &GameWindowPresenter::AskForDocument);
  ask_.start();
  QTimer::singleShot(kShowWithinMs, this, &GameWindowPresenter::ShowGameWindow);
  QTimer::singleShot(kStillWaitingMs, this, [this] {
    if (loading_window_) {
      loading_window_->SayStillWaiting();
    }
  });
}

void GameWindowPresenter::AskForDocument() {
  GS_REQUIRE_UI_THREAD();
  if (shown_ || !game_window_) {
    ask_.stop();
    return;
  }
  game_window_->page()->runJavaScript(
      QString::fromLatin1(kDocumentThereScript), QWebEngineScript::ApplicationWorld,
      [self = QPointer<GameWindowPresenter>(this)](const QVariant& there) {
        if (self && there.toBool()) {
          self->ShowGameWindow();
        }
      });
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
  ask_.stop();
  new FirstPaintCover(game_window_->view());
  game_window_->show();
  if (loading_window_) {
    loading_window_->Dismiss();
    loading_window_.reset();
  }
}

}  // namespace gameshell
