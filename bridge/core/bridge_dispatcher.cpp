#include "bridge/core/bridge_dispatcher.h"

#include "base/core/text_conversion.h"

namespace gameshell {

void BridgeDispatcher::OnMessage(const BridgeMessage& message, BridgeCommands& commands) {
  if (message.name == kOpenMessageName) {
    std::u16string url = ArgumentAsText(message.argument);
    if (IsOpenableExternalUrl(url)) {
      commands.OpenExternal(url);
    }
    return;
  }
  if (!commands.HasWindowDelegate()) {
    return;
  }
  std::optional<BridgeMessageKind> kind = BridgeMessageKindForName(message.name);
  if (!kind) {
    return;
  }
  switch (*kind) {
    case BridgeMessageKind::kCloseGameWindow:
      commands.SetCanClose(true);
      commands.CloseGame();
      break;
    case BridgeMessageKind::kMaxGameWindow:
      commands.MaximizeWindow();
      break;
    case BridgeMessageKind::kSetWindowCanClose:
      commands.SetCanClose(ArgumentAsBool(message.argument));
      break;
    case BridgeMessageKind::kOpenPay:
      commands.OpenPay(ArgumentAsText(message.argument));
      break;
    case BridgeMessageKind::kClearCache:
      commands.ResetCache(Utf16ToUtf8(ArgumentAsText(message.argument)));
      break;
    case BridgeMessageKind::kShowExit:
      if (!exit_shown_) {
        exit_shown_ = true;
        commands.ReloadSender();
      }
      break;
    case BridgeMessageKind::kUserAuthentic:
      commands.UserAuthentic();
      break;
  }
}

}  // namespace gameshell
