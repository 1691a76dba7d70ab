#pragma once

#include <string>

#include "bridge/core/bridge_messages.h"

// The browser side of the bridge: turns each message into a command on the window, the browsers,
// the cache or the launcher library.
// Thread: UI.
namespace gameshell {

// What the commands act on, for the browser that sent the message.
class BridgeCommands {
 public:
  virtual ~BridgeCommands() = default;
  // False until the game window's delegate is stored: messages are dropped until then.
  virtual bool HasWindowDelegate() = 0;
  virtual void SetCanClose(bool can_close) = 0;
  // The game asked to close: every window closes without asking the page again.
  virtual void CloseGame() = 0;
  virtual void MaximizeWindow() = 0;
  virtual void OpenPay(const std::u16string& url) = 0;
  virtual void ResetCache(const std::string& generation) = 0;
  virtual void ReloadSender() = 0;
  virtual void UserAuthentic() = 0;
  virtual void OpenExternal(const std::u16string& url) = 0;
};

class BridgeDispatcher {
 public:
  void OnMessage(const BridgeMessage& message, BridgeCommands& commands);

 private:
  // The game's exit prompt reloads the page once per run, never again.
  bool exit_shown_ = false;
};

}  // namespace gameshell
