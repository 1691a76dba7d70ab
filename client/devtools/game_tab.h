#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/core/game_hosts.h"
#include "base/core/message_loop.h"
#include "base/devtools/browser_domain.h"
#include "base/devtools/devtools_connection.h"
#include "base/devtools/fetch_domain.h"
#include "base/devtools/page_domain.h"
#include "base/devtools/runtime_domain.h"
#include "base/devtools/target_domain.h"
#include "bridge/core/bridge_messages.h"
#include "cache/devtools/cache_answers.h"
#include "client/core/crash_budget.h"
#include "client/core/frame_tree.h"
#include "client/devtools/game_requests.h"
#include "client/devtools/page_fetch.h"
#include "window/core/window_size.h"

namespace gameshell {

// The game window's page in the browser. The shell attaches to it and to everything it starts
// (frames of other sites, workers, popups), each paused until the shell sees its requests; gives
// its documents the page functions; loads the game; and hands on each page function's call that a
// game document made, judged by the calling document's origin and the documents above it (in a
// popup, and by whether a game document opened it). A popup the browser puts in a window with
// tabs and an address bar is not kept: one a game document opened goes to the system's browser.
// Any other page the browser opens is closed at once. Lives as long as its connection. Thread:
// the shell's loop, which outlives it.
class GameTab {
 public:
  // The game window's title, whatever its page's.
  static constexpr char kWindowTitle[] = "Varnholt";
  // What the game's page shows, where the screen holds it.
  static constexpr WindowSize kPageSize{1440, 810};
  static constexpr WindowSize kMinimumPageSize{200, 100};

  class Delegate {
   public:
    virtual ~Delegate() = default;
    virtual void OnGameMessage(const BridgeMessage& message) = 0;
    // The game window is gone (the player closed it, or the browser lost it).
    virtual void OnGameTabClosed() = 0;
    // The player closed the locked game and the page ran no hook (it has none, or it threw).
    virtual void OnLockedCloseUnanswered() = 0;
    // The titles the popups' windows show, each by the title the browser gives its window (its
    // page's).
    virtual void OnPopupTitles(std::map<std::string, std::string> titles) = 0;
    // A game document opened `url` (http or https) in a window of the browser's tabs, which the
    // shell does not keep: it goes to the system's browser instead.
    virtual void OnOpenOutside(const std::string& url) = 0;
    // The frame a window manager draws around the game window, which the browser does not know
    // of; none where there is none or it is not known yet.
    virtual std::optional<FrameMargins> WindowFrame() = 0;
  };

  // `cache_answers` (null: no cache) outlives this object. A developer's build writes the pages'
  // console lines and errors on stderr and keeps the browser's reload and developer-tools keys;
  // a player's has neither.
  GameTab(DevToolsConnection& connection,
          MessageLoop& loop,
          GameHosts hosts,
          std::string start_url,
          CacheAnswers* cache_answers,
          bool developer_build,
          Delegate* delegate);
  ~GameTab();
  GameTab(const GameTab&) = delete;
  GameTab& operator=(const GameTab&) = delete;

  void Start();
  void Reload();
  // Runs `script` in the game window's document as the page's own, where that document is the
  // game's.
  void RunInGame(const std::string& script);
  // While locked, closing the window runs the game's hook instead, and the window stays.
  void SetLocked(bool locked);
  // Empty until the browser named the game window's page.
  const std::string& target_id() const { return target_id_; }

 private:
  // One attached target: the game window's page, a frame of another site in it, or a worker.
  struct Session {
    std::string id;
    std::string popup;                 // a popup's own: its target
    std::string type;                  // "page", "iframe", "worker", ...
    std::string worker_origin;         // a worker's: its requests name no frame
    std::unique_ptr<PageDomain> page;  // for documents only
    std::unique_ptr<RuntimeDomain> runtime;
    std::unique_ptr<FetchDomain> fetch;
    std::map<int64_t, RuntimeDomain::Context> contexts;  // the documents' own worlds
    std::map<int64_t, std::string> shell_contexts;       // the shell's worlds: their frames
  };

  // A popup: opened by a document of the game window or of a popup kept.
  struct Popup {
    std::string session_id;
    std::string opener_frame_id;
    bool opened_by_game = false;  // its opener was a game document
    // The window the browser gave it: a popup's (no tabs, no address bar) or one with tabs, as
    // its first document says (one in a process of its own says so only once it has loaded).
    enum class Window { kUnknown, kPopup, kTabs } window = Window::kUnknown;
    std::string first_url;   // of its first navigation, once it started
    std::string page_title;  // as its document says; the browser names its window so
    TargetDomain::TargetInfo info;
  };

  void OnTargetInfo(const TargetDomain::TargetInfo& target);
  void OnTargetDestroyed(const std::string& target_id);
  // A page the browser opened: the game window (the first), a popup, or one that is closed.
  void OnPageAttached(const std::string& session_id, const TargetDomain::TargetInfo& target);
  void AdoptPopup(const std::string& session_id, const TargetDomain::TargetInfo& target);
  // A navigation of a popup's own frame; true when it was taken care of here.
  bool OnPopupNavigation(Session& session, const FetchDomain::PausedRequest& request);
  // Its first document said what window it has: one with tabs is not kept.
  void OnPopupWindowKnown(const std::string& target_id, bool tabs);
  void SendPopupTitles();
  // Reads the popup's title as long as it lives.
  void WatchPopupTitle(const std::string& target_id);
  // The frame's document and every one above it are the game's, in the game window or in a popup
  // a game document opened.
  bool IsGameDocument(const std::string& frame_id) const;
  void OnAutoAttached(const std::string& parent,
                      const std::string& session_id,
                      const TargetDomain::TargetInfo& target);
  // Sets the session up; `ready` runs once the browser has done all of it, `browser_ready` once
  // it pauses the requests and attaches what the page starts (a popup's process may not have
  // started, and answers nothing before it goes on).
  void SetUp(Session& session,
             std::function<void()> ready,
             std::function<void()> browser_ready = {});
  void SetUpMainFrame(Session& session);
  // Sizes the game window so that its page shows kPageSize (or the largest of its shape the
  // screen holds), before the game's first script could see another size; asked again at most
  // `tries` times where the page could not say its size or the window did not take the size.
  void FitWindow(std::function<void()> then, int tries = 5);
  // Takes the shell's first page out of the game window's history, once the browser has the
  // game's document in it.
  void ForgetFirstPage(int tries = 50);
  void OnBindingCalled(Session& session, const RuntimeDomain::BindingCall& call);
  void OnContextCreated(Session& session, const RuntimeDomain::Context& context);
  struct PendingFetch {
    std::string url;
    PageFetch::PieceTaker piece;
    std::function<void(bool whole)> ended;
    int tries = 0;
  };
  // In the shell's world of the game window's document; waits for one where there is none.
  void RunFetch(PendingFetch fetch);
  void RunPendingFetches();
  void OnDialogOpening(const std::string& type);
  void ListenToConsole(Session& session);
  // The page's process died: the game loads again, or, when it dies too often, the shell's page
  // says so and waits for the player's Retry.
  void OnPageCrashed();
  void TellPageLocked();
  // A game document of the game window went to the network: one that is not answered in time
  // is the shell's page.
  void OnGameDocumentSent(const std::string& url);
  // The game window's document is the game's.
  bool ShowsTheGame() const;
  // The game window's document's own world, once it has one.
  std::optional<int64_t> MainFrameContext() const;
  // The cache's own fetch of `url` in the game window's document (CacheAnswers::FetchStarter);
  // false when there is no game window. One asked for before the document has the shell's world
  // starts once it has (a document's first requests come before the browser says so).
  bool StartFetch(const std::string& url,
                  PageFetch::PieceTaker piece,
                  std::function<void(bool whole)> ended);

  DevToolsConnection& connection_;
  MessageLoop& loop_;
  const GameHosts hosts_;
  const std::string start_url_;
  const bool developer_build_;
  Delegate* const delegate_;
  TargetDomain targets_;
  BrowserDomain browser_;
  std::string target_id_;
  std::map<std::string, std::unique_ptr<Session>> sessions_;
  std::map<std::string, Popup> popups_;  // by target
  // Popups the shell's own script is about to open for a link: their addresses, by the frame.
  std::map<std::string, std::vector<std::string>> links_opening_;
  Session* main_ = nullptr;
  FrameTree frames_;
  GameRequests requests_;
  CacheAnswers* const cache_answers_;
  std::string main_url_;
  CrashBudget crash_budget_;
  // Runs once the game window's first page can be asked for its sizes.
  std::function<void()> on_first_page_;
  // The close lock's world in the game window's current document; 0 before it exists.
  int64_t lock_context_ = 0;
  bool lock_context_is_game_ = false;  // that document's origin is the game's
  // The cache's fetches waiting for that world.
  std::vector<PendingFetch> pending_fetches_;
  // Counts the worlds the pending fetches waited for: a wait that sees it changed is over.
  uint64_t fetch_world_wait_ = 0;
  bool locked_ = false;
  bool first_page_forgotten_ = false;
  // Counts the game window's documents sent, answered and shown: a wait that sees it changed is
  // over.
  uint64_t document_wait_ = 0;
  bool closed_ = false;
  // Shared with delayed tasks: one that runs after this object ended does nothing.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace gameshell
