#pragma once

#include <memory>
#include <string>

#include "base/core/game_hosts.h"
#include "base/core/message_loop.h"
#include "base/devtools/browser_domain.h"
#include "base/devtools/devtools_connection.h"
#include "bridge/core/bridge_dispatcher.h"
#include "cache/core/resource_cache.h"
#include "cache/devtools/cache_answers.h"
#include "client/devtools/browser_pipe.h"
#include "client/devtools/game_tab.h"
#include "platform/message_box_window.h"
#include "platform/windowed_launcher_host.h"
#include "window/devtools/game_window_keeper.h"

namespace gameshell {

// The shell on a Chromium-family browser it drives over the remote-debugging pipe: starts the
// browser with a profile of its own, shows the game in its one window, answers the page
// functions, and ends with the browser, or ends it. Thread: the main thread, which runs the loop.
class ChromiumShell : public GameTab::Delegate, public BridgeCommands {
 public:
  struct Settings {
    std::string browser;  // the browser's path
    std::string start_url;
    GameHosts hosts;
    bool sandbox = true;
    // Page console lines on stderr, and the browser's own reload and developer-tools keys.
    bool developer_build = false;
    // What the cache says is shown in a box too (the menu started the game: nobody reads stderr).
    bool errors_in_window = false;
  };

  explicit ChromiumShell(Settings settings);
  ~ChromiumShell() override;
  ChromiumShell(const ChromiumShell&) = delete;
  ChromiumShell& operator=(const ChromiumShell&) = delete;

  // Until the game and the browser have ended; the process's exit code.
  int Run();
  // From any thread: ends the game as closing its window does.
  void RequestClose();
  // Why the browser could not start, once Run has returned; empty when it started.
  const std::string& start_failure() const { return start_failure_; }

  // GameTab::Delegate:
  void OnGameMessage(const BridgeMessage& message) override;
  void OnGameTabClosed() override;
  void OnLockedCloseUnanswered() override;
  void OnPopupTitles(std::map<std::string, std::string> titles) override;
  void OnOpenOutside(const std::string& url) override;
  std::optional<FrameMargins> WindowFrame() override;

  // BridgeCommands:
  bool HasWindowDelegate() override { return true; }
  void SetCanClose(bool can_close) override;
  void CloseGame() override;
  void MaximizeWindow() override;
  void OpenPay(const std::u16string& url) override;
  void ResetCache(const std::string& generation) override;
  void ReloadSender() override;
  void UserAuthentic() override;
  void OpenExternal(const std::u16string& url) override;

 private:
  void OnBrowserGone();
  uintptr_t GameWindow() const;

  const Settings settings_;
  MessageLoop loop_;
  std::string profile_dir_;
  std::unique_ptr<ResourceCache> cache_;
  std::unique_ptr<CacheAnswers> cache_answers_;
  std::unique_ptr<DevToolsConnection> connection_;
  std::unique_ptr<BrowserDomain> browser_;
  std::unique_ptr<GameTab> tab_;
  std::unique_ptr<BrowserPipe> pipe_;
  std::unique_ptr<GameWindowKeeper> window_keeper_;
  std::unique_ptr<WindowedLauncherHost> launcher_host_;
  std::unique_ptr<WindowedLauncherHost> cache_boxes_;
  // Whether to quit a locked game that showed the player nothing: one at a time.
  std::unique_ptr<platform::MessageBoxWindow> quit_question_;
  BridgeDispatcher dispatcher_;
  bool closing_ = false;
  // The browser said something on its pipe: it started.
  bool browser_spoke_ = false;
  int exit_code_ = 0;
  std::string start_failure_;
};

}  // namespace gameshell
