#include "client/qt/view_key_watcher.h"

#include <QChildEvent>
#include <QKeyEvent>
#include <QWebEngineView>

#include "base/qt/ui_thread.h"

namespace gameshell {

ViewKeyWatcher::ViewKeyWatcher(QWebEngineView* view, int key)
    : QObject(view), view_(view), key_(key) {
  view_->installEventFilter(this);
  for (QObject* child : view_->children()) {
    child->installEventFilter(this);
  }
}

bool ViewKeyWatcher::eventFilter(QObject* watched, QEvent* event) {
  GS_REQUIRE_UI_THREAD();
  if (watched == view_) {
    // The engine creates the widget that receives keys when the page first renders.
    if (event->type() == QEvent::ChildAdded) {
      static_cast<QChildEvent*>(event)->child()->installEventFilter(this);
    }
    // A key the page left unhandled travels on to the view: it was seen on the child already.
    return false;
  }
  if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == key_) {
    // Once the page has the key: a window shown now may take the focus before the key reaches
    // the page.
    QMetaObject::invokeMethod(
        this, [this] { emit Pressed(); }, Qt::QueuedConnection);
  }
  return false;
}

}  // namespace gameshell
