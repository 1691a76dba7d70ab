#pragma once

#include <QObject>
#include <QVariantList>

#include "base/core/game_hosts.h"
#include "bridge/core/bridge_messages.h"

class QWebEnginePage;

namespace gameshell {

// The game's hosts as the pages' own rule (game_origin.js) takes them: a JSON list of
// {name, port, subdomains}.
QString GameHostsJson(const GameHosts& hosts);

// Where a page's bridge messages go: the client, which acts on them.
// Thread: UI.
class BridgeMessageHandler {
 public:
  // A message from `page` (any of its frames), in the order the page sent them.
  virtual void OnBridgeMessage(QWebEnginePage* page, const BridgeMessage& message) = 0;

 protected:
  ~BridgeMessageHandler() = default;
};

// The browser side of one page's bridge: installs the page's functions in every frame of the
// game's hosts and receives their messages over the page's web channel.
// Thread: UI.
class PageBridge : public QObject {
  Q_OBJECT

 public:
  // Lives as long as the page (its Qt parent); `handler` must outlive the page.
  static void Install(QWebEnginePage* page,
                      const GameHosts& game_hosts,
                      BridgeMessageHandler* handler);

  // Called by the page: a batch of [name, [argument]] pairs.
  Q_INVOKABLE void post(const QVariantList& calls);

 private:
  PageBridge(QWebEnginePage* page, const GameHosts& game_hosts, BridgeMessageHandler* handler);

  QWebEnginePage* const page_;
  const GameHosts game_hosts_;
  BridgeMessageHandler* const handler_;
};

}  // namespace gameshell
