#pragma once

#include <QObject>

class GameClient;
class QWebEngineView;

// Opens the developer tools of a view's page on F2 (any modifiers, auto-repeat included) without
// taking the key from the page. Watches the view's child widgets, where the engine delivers keys.
// Thread: UI.
class DevToolsKeyFilter : public QObject {
  Q_OBJECT

 public:
  DevToolsKeyFilter(QWebEngineView* view, GameClient* client);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWebEngineView* const view_;
  GameClient* const client_;
};
