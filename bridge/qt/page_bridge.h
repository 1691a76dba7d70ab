#pragma once

#include <QObject>
#include <QVariantList>

class GameClient;
class QWebEnginePage;

// The browser side of one page's bridge: installs the page's functions in every frame and
// receives their messages over the page's web channel, in the order the page sent them.
// Thread: UI.
class PageBridge : public QObject {
  Q_OBJECT

 public:
  // Lives as long as the page.
  static void Install(QWebEnginePage* page, GameClient* client);

  // Called by the page: a batch of [name, [argument]] pairs.
  Q_INVOKABLE void post(const QVariantList& calls);

 private:
  PageBridge(QWebEnginePage* page, GameClient* client);

  QWebEnginePage* const page_;
  GameClient* const client_;
};
