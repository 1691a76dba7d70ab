#pragma once

#include <QObject>

class QWebEnginePage;
class QWebEngineView;

namespace gameshell {

// Asks for the developer tools of a view's page on F2 (any modifiers, auto-repeat included)
// without taking the key from the page. Watches the view's child widgets, where the engine
// delivers keys.
// Thread: UI. Lives as long as the view (its Qt parent).
class DevToolsKeyFilter : public QObject {
  Q_OBJECT

 public:
  explicit DevToolsKeyFilter(QWebEngineView* view);

 signals:
  // Once the page has had the key.
  void DevToolsRequested(QWebEnginePage* page);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWebEngineView* const view_;
};

}  // namespace gameshell
