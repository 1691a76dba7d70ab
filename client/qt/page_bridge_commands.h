#pragma once

#include "bridge/core/bridge_dispatcher.h"

class GameClient;
class QWebEnginePage;

// The bridge's commands as they act on this shell's windows, browsers, cache and launcher, for
// the page that sent the message.
// Thread: UI.
class PageBridgeCommands : public gameshell::BridgeCommands {
 public:
  PageBridgeCommands(GameClient* client, QWebEnginePage* sender);

  bool HasWindowDelegate() override;
  void SetCanClose(bool can_close) override;
  void CloseGame() override;
  void MaximizeWindow() override;
  void OpenPay(const std::u16string& url) override;
  void ResetCache(const std::string& generation) override;
  void ReloadSender() override;
  void UserAuthentic() override;
  void OpenExternal(const std::u16string& url) override;

 private:
  GameClient* const client_;
  QWebEnginePage* const sender_;
};
