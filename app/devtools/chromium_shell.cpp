#include "app/devtools/chromium_shell.h"

#include <chrono>
#include <cstdio>

#include "app/devtools/chromium_command_line.h"
#include "base/core/text_conversion.h"
#include "bridge/core/bridge_messages.h"
#include "bridge/core/launcher.h"
#include "platform/browser_process.h"
#include "platform/file_system.h"
#include "platform/temporary_directory.h"
#include "platform/url_opener.h"

namespace gameshell {

namespace {
// A browser asked to close that has not ended by then is ended.
constexpr auto kCloseDeadline = std::chrono::seconds(5);
// A browser that has said nothing over its pipe by then never will: one too old for the pipe's
// switches opens a window of its own and leaves the shell waiting.
constexpr auto kFirstAnswerDeadline = std::chrono::seconds(30);
constexpr auto kLastRequestsTime = std::chrono::milliseconds(300);
constexpr WindowSize kInitialSize{1440, 810};
// The largest the player may make the game window: a 4K screen's.
constexpr WindowSize kMaximumPageSize{3840, 2160};
constexpr char kProfilePrefix[] = "gameshell-browser-";
}  // namespace

ChromiumShell::ChromiumShell(Settings settings) : settings_(std::move(settings)) {}

ChromiumShell::~ChromiumShell() {
  // The browser first: it writes into its profile until it has ended.
  pipe_.reset();
  quit_question_.reset();
  launcher_host_.reset();
  window_keeper_.reset();
  tab_.reset();
  cache_answers_.reset();
  if (cache_) {
    // Its last words go nowhere: the loop that would show them ends with this object.
    cache_->SetTroubleReporter(nullptr);
    cache_->SaveAndWait();
  }
  cache_boxes_.reset();
  if (!profile_dir_.empty()) {
    platform::RemoveDirectoryTree(profile_dir_);
  }
}

int ChromiumShell::Run() {
  // A shell that was killed, or cut off by a power cut, left its browser's profile behind.
  platform::RemoveAbandonedTemporaryDirectories(kProfilePrefix);
  profile_dir_ = platform::MakeTemporaryDirectory(kProfilePrefix);
  if (profile_dir_.empty()) {
    std::fprintf(stderr, "gameshell: no temporary directory for the browser's profile\n");
    return 1;
  }
  // Left at the browser's defaults where it cannot be written: the game plays either way.
  DefaultFileSystem().CreateDirectory(profile_dir_ + "/Default");
  DefaultFileSystem().WriteFile(profile_dir_ + "/Default/Preferences", kProfilePreferences);
  ChromiumStart start;
  start.browser = settings_.browser;
  start.profile_dir = profile_dir_;
  start.window_size = kInitialSize;
  start.sandbox = settings_.sandbox;
  std::string error;
  std::unique_ptr<platform::BrowserProcess> process = platform::StartBrowserProcess(
      ChromiumCommandLine(start), &error,
      /*output_shown=*/settings_.developer_build, ChromiumEnvironment());
  if (!process) {
    start_failure_ = error;
    std::fprintf(stderr, "gameshell: the browser engine could not start: %s\n", error.c_str());
    return 2;
  }
  cache_ = std::make_unique<ResourceCache>(settings_.hosts);
  cache_->Start();
  cache_answers_ = std::make_unique<CacheAnswers>(cache_.get(), DefaultFileSystem(), loop_);
  // CBOR: a cached file's body goes to the browser as its bytes.
  connection_ = std::make_unique<DevToolsConnection>(
      [this](std::string bytes) {
        if (pipe_) {
          pipe_->Write(bytes);
        }
      },
      DevToolsWire::kCbor);
  browser_ = std::make_unique<BrowserDomain>(*connection_);
  tab_ = std::make_unique<GameTab>(*connection_, loop_, settings_.hosts, settings_.start_url,
                                   cache_answers_.get(), settings_.developer_build, this);
  pipe_ = std::make_unique<BrowserPipe>(
      std::move(process), &loop_,
      [this](std::string_view bytes) {
        browser_spoke_ = true;
        if (!connection_->Receive(bytes)) {
          std::fprintf(stderr, "gameshell: the browser broke the remote-debugging protocol\n");
          exit_code_ = 1;
          OnBrowserGone();
        }
      },
      [this] { OnBrowserGone(); });
  window_keeper_ = GameWindowKeeper::Start(
      pipe_->process().pid(),
      {kWindowClass, GameTab::kWindowTitle, GameTab::kMinimumPageSize, kMaximumPageSize});
  launcher_host_ = std::make_unique<WindowedLauncherHost>(loop_);
  if (settings_.errors_in_window) {
    // Told on the thread that noticed; shown from the loop, in a box like the launcher's, above
    // the game window while the game runs on.
    cache_boxes_ = std::make_unique<WindowedLauncherHost>(loop_);
    cache_->SetTroubleReporter([this](const std::string& chinese, const std::string& english) {
      loop_.Post([this, text = chinese + "\n\n" + english + "."] {
        cache_boxes_->SetGameWindow(GameWindow());
        cache_boxes_->ShowMessageBox(false, text, kCacheTroubleTitle);
      });
    });
  }
  // The game has never saved files through the browser, and no other page may.
  browser_->DenyDownloads();
  tab_->Start();
  loop_.PostDelayed(
      [this] {
        if (!browser_spoke_ && pipe_) {
          start_failure_ = "it did not answer over its pipe";
          std::fprintf(stderr, "gameshell: the browser engine could not start: %s\n",
                       start_failure_.c_str());
          exit_code_ = 2;
          closing_ = true;
          pipe_->process().Kill();
          loop_.Quit();
        }
      },
      kFirstAnswerDeadline);
  loop_.Run();
  return exit_code_;
}

void ChromiumShell::RequestClose() {
  loop_.Post([this] { CloseGame(); });
}

void ChromiumShell::OnBrowserGone() {
  if (!closing_) {
    // A player's build hears nothing of the browser's own: it says what it can.
    const std::optional<int> status = pipe_->process().WaitForExit(std::chrono::seconds(1));
    const std::string code = status ? " (exit code " + std::to_string(*status) + ")" : "";
    if (!browser_spoke_) {
      start_failure_ = "it ended before it answered" + code;
      std::fprintf(stderr, "gameshell: the browser engine could not start: %s\n",
                   start_failure_.c_str());
    } else {
      std::fprintf(stderr, "gameshell: the browser ended unexpectedly%s\n", code.c_str());
    }
    exit_code_ = 1;
  }
  connection_->Close("the browser ended");
  loop_.Quit();
}

void ChromiumShell::OnGameMessage(const BridgeMessage& message) {
  dispatcher_.OnMessage(message, *this);
}

void ChromiumShell::OnGameTabClosed() {
  CloseGame();
}

void ChromiumShell::OnPopupTitles(std::map<std::string, std::string> titles) {
  if (window_keeper_) {
    window_keeper_->SetPopupTitles(std::move(titles));
  }
}

std::optional<FrameMargins> ChromiumShell::WindowFrame() {
  return window_keeper_ ? window_keeper_->WindowFrame() : std::nullopt;
}

void ChromiumShell::OnOpenOutside(const std::string& url) {
  if (IsOpenableExternalUrl(Utf8ToUtf16(url))) {
    platform::OpenWithDesktop(url);
  }
}

void ChromiumShell::SetCanClose(bool can_close) {
  tab_->SetLocked(!can_close);
}

void ChromiumShell::OnLockedCloseUnanswered() {
  // The game showed the player nothing (no hook, or it threw): the shell asks instead, or the
  // window would never close.
  if (quit_question_ || closing_) {
    return;  // asked already
  }
  platform::MessageBoxWindow::Content content;
  content.caption = GameTab::kWindowTitle;
  content.text = "要退出游戏吗？\nQuit the game?";
  content.quit_question = true;
  content.above = GameWindow();
  quit_question_ = platform::MessageBoxWindow::Show(content, [this](bool quit) {
    loop_.Post([this, quit] {
      quit_question_.reset();
      if (quit) {
        CloseGame();
      }
    });
  });
  if (!quit_question_) {
    CloseGame();  // nothing can ask here
  }
}

void ChromiumShell::CloseGame() {
  if (closing_) {
    return;
  }
  closing_ = true;
  quit_question_.reset();
  // What the page sent just before it asked to close (its last report, say) leaves first.
  loop_.PostDelayed([this] { browser_->Close(); }, kLastRequestsTime);
  loop_.PostDelayed([this] { loop_.Quit(); }, kCloseDeadline);
}

void ChromiumShell::MaximizeWindow() {
  if (!tab_->target_id().empty()) {
    browser_->MaximizeWindowOf(tab_->target_id());
  }
}

uintptr_t ChromiumShell::GameWindow() const {
  return window_keeper_ ? window_keeper_->GameWindow() : 0;
}

void ChromiumShell::OpenPay(const std::u16string& url) {
  launcher_host_->SetGameWindow(GameWindow());
  LauncherOpenPay(*launcher_host_, kLauncherLibraryName, url);
}

void ChromiumShell::ResetCache(const std::string& generation) {
  cache_->index().Reset(generation);
}

void ChromiumShell::ReloadSender() {
  tab_->Reload();
}

void ChromiumShell::UserAuthentic() {
  launcher_host_->SetGameWindow(GameWindow());
  // The shell's loop waits for the library's answer (its own window may wait for the player): the
  // game waits with it, as it did on every engine the shell had.
  if (const std::optional<int32_t> result =
          LauncherUserAuthentic(*launcher_host_, kLauncherLibraryName, GameWindow())) {
    tab_->RunInGame(AuthenticationCallbackScript(*result));
  }
}

void ChromiumShell::OpenExternal(const std::u16string& url) {
  platform::OpenWithDesktop(Utf16ToUtf8(url));
}

}  // namespace gameshell
