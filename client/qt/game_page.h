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

 signals:
  // The shell's own page asked to try the game again.
  void RetryRequested();

 protected:
  bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool is_main_frame) override;
  QWebEnginePage* createWindow(WebWindowType type) override;
  // The shell keeps no log, the page's console included.
  void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel,
                                const QString&,
                                int,
                                const QString&) override {}

 private:
  GameClient* const client_;
  const bool dev_tools_;
};
