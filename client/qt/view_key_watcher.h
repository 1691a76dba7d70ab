#pragma once

#include <QObject>

class QWebEngineView;

namespace gameshell {

// Tells when one key is pressed in a view's page (any modifiers, auto-repeat included) without
// taking the key from the page: F2 for the developer tools, Esc to leave the whole screen.
// Watches the view's child widgets, where the engine delivers keys, including those it creates
// anew (after the page's process died).
// Thread: UI. Lives as long as the view (its Qt parent).
class ViewKeyWatcher : public QObject {
  Q_OBJECT

 public:
  ViewKeyWatcher(QWebEngineView* view, int key);

 signals:
  // Once the page has had the key.
  void Pressed();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWebEngineView* const view_;
  const int key_;
};

}  // namespace gameshell
