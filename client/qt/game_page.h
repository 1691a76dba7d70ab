#pragma once

#include <QWebEnginePage>

class GameClient;

// A browser of the shell: a page whose navigations, popups and console are the client's business.
// Thread: UI.
class GamePage : public QWebEnginePage {
  Q_OBJECT

 public:
  // `dev_tools`: the page shows the developer tools (and may navigate to their scheme).
  GamePage(QWebEngineProfile* profile, GameClient* client, bool dev_tools, QObject* parent);

  // Developers' builds: every page's console messages go to stderr. Before the first page.
  static void SetConsoleToStderr(bool on);

 signals:
  // The shell's own page asked to try the game again.
  void RetryRequested();

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
  GameClient* const client_;
  const bool dev_tools_;
};
