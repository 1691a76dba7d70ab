#pragma once

#include <QWebEnginePage>

#include "base/core/game_hosts.h"

namespace gameshell {

class BridgeMessageHandler;

// A page of the shell's: the game's, a popup's or the developer tools'. Pages of the game and its
// popups get the page functions and their request guard; the developer tools get neither.
// Thread: UI.
class GamePage : public QWebEnginePage {
  Q_OBJECT

 public:
  enum class Role { kGame, kPopup, kDevTools };

  // `bridge` receives the page functions' messages (none for the developer tools) and must outlive
  // the page.
  GamePage(QWebEngineProfile* profile,
           Role role,
           GameHosts game_hosts,
           BridgeMessageHandler* bridge,
           QObject* parent);

  Role role() const { return role_; }

  // A page of the same profile, hosts and bridge.
  GamePage* NewPage(Role role, QObject* parent);
  // A popup of this page, as the engine asks for one; whoever takes PopupOpened owns it.
  GamePage* OpenPopup();

  // Developers' builds: every page's console messages go to stderr. Before the first page.
  static void SetConsoleToStderr(bool on);

 signals:
  // A popup this page opened; it has no parent yet and navigates once this returns.
  void PopupOpened(GamePage* popup);
  // The shell's own page asked to try the game again.
  void RetryRequested();
  // The game window's main frame shows a document the game never led it to, which came without
  // a navigation the shell could refuse: the game is to be brought back.
  void ForeignDocumentShown();

 protected:
  bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool is_main_frame) override;
  QWebEnginePage* createWindow(WebWindowType type) override;
  // A player's build keeps no log, the page's console included; a developer's build writes the
  // console to stderr ("js: source:line: message").
  void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level,
                                const QString& message,
                                int line,
                                const QString& source) override;

 private:
  const Role role_;
  const GameHosts game_hosts_;
  BridgeMessageHandler* const bridge_;
};

}  // namespace gameshell
