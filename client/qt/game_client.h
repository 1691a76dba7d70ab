#pragma once

#include <QObject>
#include <QPointer>

#include <vector>

#include "window/core/close_mode.h"
#include "window/qt/browser_window.h"

class QWebEnginePage;

namespace gameshell {

class GamePage;
class WindowDelegate;

// The browsers of the shell. A browser is one page in its view, in a window of its own: the
// game's, a popup's, the developer tools'. The client keeps the list of open browsers in the order
// they opened and closes them; the last one closed ends the run (whose end is the session's).
// Thread: UI, except CloseAllBrowsers and CloseGame, which may be called from any thread.
class GameClient : public QObject {
  Q_OBJECT

 public:
  GameClient() = default;
  // Browsers still open go first: pages must not outlive their profile.
  ~GameClient() override;

  // Puts `page` in a view, in a window of its own, hidden; counted as open from now on.
  // `delegate` may be null and must outlive the window.
  BrowserWindow* OpenBrowser(GamePage* page, WindowDelegate* delegate);
  // Every open browser, in the order they opened. kForce closes without asking the pages.
  void CloseAllBrowsers(CloseMode mode);
  // The game ends, at its own word, the system's, or the player's before it showed: every browser
  // closes by force, and the game's close lock and exit prompt have no say.
  void CloseGame();

  const std::vector<QPointer<QWebEnginePage>>& browser_list() const { return browser_list_; }

 signals:
  // A browser opened: its window exists, not yet shown.
  void BrowserOpened(BrowserWindow* window);
  // The last open browser closed.
  void LastBrowserClosed();

 private:
  void OnBrowserClosed(QWebEnginePage* page);

  std::vector<QPointer<QWebEnginePage>> browser_list_;
};

}  // namespace gameshell
