#include "window/qt/screen_fit.h"

#include <QEvent>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include "base/qt/ui_thread.h"
#include "window/core/window_size.h"

namespace gameshell {

namespace {
// A window manager frames a window a moment after it maps, and may not say so with a move.
constexpr int kSettleMs = 250;
}  // namespace

ScreenFit::ScreenFit(QWidget* window, QSize shape)
    : QObject(window), window_(window), shape_(shape) {
  GS_REQUIRE_UI_THREAD();
  window->installEventFilter(this);
  settle_.setSingleShot(true);
  settle_.setInterval(kSettleMs);
  connect(&settle_, &QTimer::timeout, this, &ScreenFit::Fit);
}

bool ScreenFit::eventFilter(QObject* watched, QEvent* event) {
  GS_REQUIRE_UI_THREAD();
  if (watched == window_) {
    switch (event->type()) {
      case QEvent::Show:
        if (!shown_for_.isValid()) {
          shown_for_.start();
        }
        settle_.start();
        break;
      case QEvent::Move:
      case QEvent::Resize:
        if (shown_for_.isValid()) {
          settle_.start();
        }
        break;
      default:
        break;
    }
  }
  return QObject::eventFilter(watched, event);
}

void ScreenFit::Fit() {
  GS_REQUIRE_UI_THREAD();
  if (shown_for_.elapsed() > kWatchMs) {
    window_->removeEventFilter(this);
    deleteLater();
    return;
  }
  QWindow* handle = window_->windowHandle();
  QScreen* screen = window_->screen();
  if (!handle || !screen || window_->isMaximized() || window_->isFullScreen()) {
    return;
  }
  const QMargins margins = handle->frameMargins();
  const QRect area = screen->availableGeometry();
  const QRect client = window_->geometry();
  const QSize minimum = window_->minimumSize();
  const WindowRect placed =
      FitFramedWindow({client.x(), client.y(), client.width(), client.height()},
                      {margins.left(), margins.top(), margins.right(), margins.bottom()},
                      {area.x(), area.y(), area.width(), area.height()},
                      {shape_.width(), shape_.height()}, {minimum.width(), minimum.height()});
  const QRect fitted(placed.x, placed.y, placed.width, placed.height);
  if (fitted != client) {
    window_->setGeometry(fitted);
  }
}

}  // namespace gameshell
