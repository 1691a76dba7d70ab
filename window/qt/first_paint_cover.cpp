#include "window/qt/first_paint_cover.h"

#include <QEvent>
#include <QPointer>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineView>

#include "base/qt/ui_thread.h"
#include "window/qt/loading_window.h"

namespace gameshell {

namespace {
constexpr int kCheckEveryMs = 20;
// One frame at 60 Hz, and a little more.
constexpr int kFrameReachesWidgetMs = 20;
// A page that is still after its first frame makes no further paint to wait for: by then its frame
// has reached the screen (three frames at 60 Hz).
constexpr int kFrameShownMs = 50;
// Counts the page's animation frames, in the shell's own script world: the page cannot see or
// change it. The page is drawn from the start, so its frames may be counted before the window
// shows; the wait for the engine's widget's next paint (or kFrameShownMs) covers the rest.
constexpr char kFramesScript[] = R"JS((function () {
  if (!window.__shellFrames) {
    window.__shellFrames = 1;
    requestAnimationFrame(function () {
      requestAnimationFrame(function () { window.__shellFrames = 2; });
    });
  }
  return window.__shellFrames;
})())JS";
}  // namespace

FirstPaintCover::FirstPaintCover(QWebEngineView* view) : QWidget(view), view_(view) {
  GS_REQUIRE_UI_THREAD();
  QPalette colors = palette();
  colors.setColor(QPalette::Window, LoadingWindow::kBackground);
  setPalette(colors);
  setAutoFillBackground(true);
  setGeometry(view->rect());
  raise();
  show();
  view->installEventFilter(this);
  shown_for_.start();
  check_.setInterval(kCheckEveryMs);
  connect(&check_, &QTimer::timeout, this, &FirstPaintCover::Check);
  check_.start();
  Check();
}

bool FirstPaintCover::eventFilter(QObject* watched, QEvent* event) {
  GS_REQUIRE_UI_THREAD();
  if (watched == view_) {
    if (event->type() == QEvent::Resize) {
      setGeometry(view_->rect());
    } else if (event->type() == QEvent::ChildAdded) {
      raise();  // over the engine's widget, should it make a new one
    }
  } else if (event->type() == QEvent::Paint && framed_for_.isValid() &&
             framed_for_.elapsed() >= kFrameReachesWidgetMs) {
    // The engine's widget paints when a frame of the page reaches it: the cover goes as that
    // paint reaches the screen. A paint in the same moment as the count was asked for before the
    // frame got there, and may still show the empty document's white.
    watched->removeEventFilter(this);
    QTimer::singleShot(0, this, &QObject::deleteLater);
  }
  return QWidget::eventFilter(watched, event);
}

void FirstPaintCover::Check() {
  GS_REQUIRE_UI_THREAD();
  if (shown_for_.elapsed() > kMaxCoverMs) {
    check_.stop();
    deleteLater();
    return;
  }
  if (framed_for_.isValid()) {
    return;
  }
  // The page's frames reach the engine's widget some moments after they are made: its next paint
  // from then on shows the page.
  view_->page()->runJavaScript(
      QString::fromLatin1(kFramesScript), QWebEngineScript::ApplicationWorld,
      [self = QPointer<FirstPaintCover>(this)](const QVariant& frames) {
        if (!self || self->framed_for_.isValid() || frames.toInt() < 2) {
          return;
        }
        self->framed_for_.start();
        if (QWidget* engine = self->view_->focusProxy()) {
          engine->installEventFilter(self);
        }
        QTimer::singleShot(kFrameShownMs, self.data(), &QObject::deleteLater);
      });
}

}  // namespace gameshell
