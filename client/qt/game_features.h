#pragma once

#include <QObject>
#include <QPointer>
#include <QWebEnginePage>

#include "base/core/game_hosts.h"

class QWebEngineFullScreenRequest;

namespace gameshell {

class BrowserWindow;

// What the game's own documents may use of the player's screen and mouse: the whole screen (left
// with Esc, as in a browser, the window's size back after) and the pointer's lock (mouse look),
// each after a player's click, as the engine requires. Other origins get neither, nor any other
// feature a page may ask for (camera, location, notifications).
// Thread: UI.
class GameFeatures : public QObject {
  Q_OBJECT

 public:
  GameFeatures(QWebEnginePage* page, BrowserWindow* window, GameHosts hosts);

 private:
  void OnFullScreenRequested(QWebEngineFullScreenRequest request);
#if QT_VERSION < QT_VERSION_CHECK(6, 8, 0)
  void OnFeatureRequested(const QUrl& origin, QWebEnginePage::Feature feature);
#endif
  bool IsGameOrigin(const QUrl& origin) const;

  QWebEnginePage* const page_;
  QPointer<BrowserWindow> window_;
  const GameHosts hosts_;
  bool full_screen_ = false;
  bool was_maximized_ = false;
};

}  // namespace gameshell
