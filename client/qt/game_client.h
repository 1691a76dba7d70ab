#pragma once

#include <QObject>

#include <vector>

#include "client/qt/browser.h"

class QWebEnginePage;

namespace gameshell {

class GamePage;
class WindowDelegate;

// The browsers of the shell, in the order they opened; the last one closed ends the run (whose end
// is the session's).
// Thread: UI.
class GameClient : public QObject {
  Q_OBJECT

 public:
  GameClient() = default;
  // Browsers still open go first: pages must not outlive their profile.
  ~GameClient() override;

  // Puts `page` in a view, in a window of its own, hidden; counted as open from now on.
  // `delegate` may be null and must outlive the window.
  BrowserWindow* OpenBrowser(GamePage* page, WindowDelegate* delegate);
  // The game ends, at its own word, the system's, or the player's before it showed: every browser
  // closes at once, and the game's close lock and exit prompt have no say.
  void CloseGame();

  const std::vector<Browser>& browsers() const { return browsers_; }
  // The window of the open browser showing `page`; null when none does (a popup not shown yet).
  BrowserWindow* WindowOf(const QWebEnginePage* page) const;

 signals:
  // A browser opened: its window exists, not yet shown.
  void BrowserOpened(BrowserWindow* window);
  // The last open browser closed.
  void LastBrowserClosed();

 private:
  void OnBrowserClosed(BrowserWindow* window);

  std::vector<Browser> browsers_;
};

}  // namespace gameshell
