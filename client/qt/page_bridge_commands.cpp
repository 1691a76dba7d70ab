#include "client/qt/page_bridge_commands.h"

#include <QPointer>
#include <QWebEnginePage>

#include "base/core/text_conversion.h"
#include "base/qt/ui_thread.h"
#include "bridge/core/launcher.h"
#include "client/qt/game_client.h"
#include "platform/qt/system_launcher_host.h"
#include "platform/url_opener.h"
#include "window/qt/browser_window.h"
#include "window/qt/game_window_delegate.h"

PageBridgeCommands::PageBridgeCommands(GameClient* client, QWebEnginePage* sender)
    : client_(client), sender_(sender) {}

bool PageBridgeCommands::HasWindowDelegate() {
  return client_->window_delegate() != nullptr;
}

void PageBridgeCommands::SetCanClose(bool can_close) {
  client_->window_delegate()->SetCanClose(can_close);
}

void PageBridgeCommands::CloseGame() {
  client_->CloseAllWindows(CloseMode::kForce);
}

void PageBridgeCommands::MaximizeWindow() {
  client_->window_delegate()->MaximizeWindow();
}

void PageBridgeCommands::OpenPay(const std::u16string& url) {
  SystemLauncherHost& host = client_->launcher_host();
  host.SetOwner(nullptr);
  gameshell::LauncherOpenPay(host, client_->launcher_library_name(), url);
}

void PageBridgeCommands::ResetCache(const std::string& generation) {
  client_->resource_cache().index().Reset(generation);
}

void PageBridgeCommands::ReloadSender() {
  sender_->triggerAction(QWebEnginePage::Reload);
}

void PageBridgeCommands::UserAuthentic() {
  BrowserWindow* window = BrowserWindow::ForPage(sender_);
  SystemLauncherHost& host = client_->launcher_host();
  host.SetOwner(window);
  QPointer<QWebEnginePage> sender(sender_);
  std::optional<int32_t> result = gameshell::LauncherUserAuthentic(
      host, client_->launcher_library_name(), window ? static_cast<uintptr_t>(window->winId()) : 0);
  // The library or its message box may have run the event loop; the page may be gone.
  if (result && sender) {
    sender->runJavaScript(QString::fromStdString(gameshell::AuthenticationCallbackScript(*result)));
  }
}

void PageBridgeCommands::OpenExternal(const std::u16string& url) {
  platform::OpenWithDesktop(gameshell::Utf16ToUtf8(url));
}
