#include "client/qt/game_bridge.h"

#include <QPointer>
#include <QWebEnginePage>
#include <QWebEngineView>

#include "base/core/text_conversion.h"
#include "base/qt/ui_thread.h"
#include "bridge/core/launcher.h"
#include "cache/core/cache_index.h"
#include "client/qt/game_client.h"
#include "platform/url_opener.h"
#include "window/qt/browser_window.h"
#include "window/qt/game_window_delegate.h"

namespace gameshell {

// The commands as they act for the page that sent one message.
class GameBridge::Commands : public BridgeCommands {
 public:
  Commands(GameBridge* bridge, QWebEnginePage* sender) : bridge_(bridge), sender_(sender) {}

  bool HasWindowDelegate() override { return bridge_->window_ != nullptr; }
  void SetCanClose(bool can_close) override { bridge_->window_->SetCanClose(can_close); }
  void CloseGame() override { bridge_->client_->CloseGame(); }
  void MaximizeWindow() override { bridge_->window_->MaximizeWindow(); }
  void ResetCache(const std::string& generation) override { bridge_->index_->Reset(generation); }
  void ReloadSender() override { sender_->triggerAction(QWebEnginePage::Reload); }
  void OpenExternal(const std::u16string& url) override {
    platform::OpenWithDesktop(Utf16ToUtf8(url));
  }

  void OpenPay(const std::u16string& url) override {
    SystemLauncherHost& host = *bridge_->launcher_host_;
    host.SetOwner(nullptr);
    host.SetGameWindow(GameWindow());
    LauncherOpenPay(host, bridge_->launcher_library_name_, url);
  }

  void UserAuthentic() override {
    BrowserWindow* window = bridge_->client_->WindowOf(sender_);
    SystemLauncherHost& host = *bridge_->launcher_host_;
    host.SetOwner(window);
    host.SetGameWindow(GameWindow());
    QPointer<QWebEnginePage> sender(sender_);
    std::optional<int32_t> result =
        LauncherUserAuthentic(host, bridge_->launcher_library_name_,
                              window ? static_cast<uintptr_t>(window->winId()) : 0);
    // The library or its message box may have run the event loop; the page may be gone.
    if (result && sender) {
      sender->runJavaScript(QString::fromStdString(AuthenticationCallbackScript(*result)));
    }
  }

 private:
  QWidget* GameWindow() const {
    QWebEngineView* view = bridge_->window_ ? bridge_->window_->browser_view() : nullptr;
    return view ? bridge_->client_->WindowOf(view->page()) : nullptr;
  }

  GameBridge* const bridge_;
  QWebEnginePage* const sender_;
};

GameBridge::GameBridge(GameWindowDelegate* window, CacheIndex* index, GameClient* client)
    : window_(window), index_(index), client_(client) {}

GameBridge::~GameBridge() = default;

void GameBridge::OnBridgeMessage(QWebEnginePage* page, const BridgeMessage& message) {
  GS_REQUIRE_UI_THREAD();
  Commands commands(this, page);
  dispatcher_.OnMessage(message, commands);
}

}  // namespace gameshell
