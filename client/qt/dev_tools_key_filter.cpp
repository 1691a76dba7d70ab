#include "client/qt/dev_tools_key_filter.h"

#include <QChildEvent>
#include <QKeyEvent>
#include <QWebEngineView>

#include "base/qt/ui_thread.h"

namespace gameshell {

DevToolsKeyFilter::DevToolsKeyFilter(QWebEngineView* view) : QObject(view), view_(view) {
  view_->installEventFilter(this);
  for (QObject* child : view_->children()) {
    child->installEventFilter(this);
  }
}

bool DevToolsKeyFilter::eventFilter(QObject* watched, QEvent* event) {
  GS_REQUIRE_UI_THREAD();
  if (watched == view_) {
    // The engine creates the widget that receives keys when the page first renders.
    if (event->type() == QEvent::ChildAdded) {
      static_cast<QChildEvent*>(event)->child()->installEventFilter(this);
    }
    // A key the page left unhandled travels on to the view: it was seen on the child already.
    return false;
  }
  if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_F2) {
    // Once the page has the key: a window shown now may take the focus before the key reaches
    // the page.
    QMetaObject::invokeMethod(
        this, [this] { emit DevToolsRequested(view_->page()); }, Qt::QueuedConnection);
  }
  return false;
}

}  // namespace gameshell
