#include "client/devtools/game_tab.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "base/core/url_authority.h"
#include "base/devtools/network_domain.h"
#include "bridge/devtools/page_functions.h"
#include "embedded/close_lock_js.h"
#include "embedded/developer_keys_js.h"
#include "embedded/new_window_links_js.h"
#include "embedded/player_keys_js.h"
#include "window/core/close_hook.h"
#include "window/core/popup_title.h"

namespace gameshell {

namespace {

constexpr char kLockWorld[] = "gameshell-close-lock";
// How the shell's script in every frame says it opens a popup for a link.
constexpr char kPopupBinding[] = "__gameshellPopup";
// How a developer's build's script in every frame asks for the developer tools.
constexpr char kDevToolsBinding[] = "__gameshellDevTools";
// Links a frame may have opened at once, and not yet navigated, that the shell remembers.
constexpr size_t kLinksOpeningPerFrame = 8;
// How long a popup's first document has to say what window the browser gave it.
constexpr auto kPopupWindowAskTime = std::chrono::seconds(15);
// How long the game window's game document may go unanswered.
constexpr auto kNoAnswerTime = std::chrono::seconds(20);
// How often a popup's title is read.
constexpr auto kPopupTitleEvery = std::chrono::milliseconds(500);
// How long a popup's first document has to take what the shell's documents take, before it goes
// on without (its process starts only then, and takes them first).
constexpr auto kPopupProcessWait = std::chrono::milliseconds(300);

}  // namespace

GameTab::GameTab(DevToolsConnection& connection,
                 MessageLoop& loop,
                 GameHosts hosts,
                 std::string start_url,
                 CacheAnswers* cache_answers,
                 bool developer_build,
                 Delegate* delegate)
    : connection_(connection),
      loop_(loop),
      hosts_(std::move(hosts)),
      start_url_(std::move(start_url)),
      developer_build_(developer_build),
      delegate_(delegate),
      targets_(connection),
      browser_(connection),
      requests_(&frames_, &hosts_, cache_answers),
      cache_answers_(cache_answers) {
  requests_.WatchGameDocuments([this](const std::string& url) { OnGameDocumentSent(url); },
                               [this] { ++document_wait_; });
  requests_.ProbeFailuresWith([this, alive = alive_](const std::string& frame_id,
                                                     const std::string& url,
                                                     std::function<void(int)> done) {
    if (!main_) {
      done(0);
      return;
    }
    NetworkDomain(connection_, main_->id)
        .Probe(frame_id, url, [alive, done = std::move(done)](int net_error) {
          if (*alive) {
            done(net_error);
          }
        });
  });
  if (developer_build_) {
    // Why the game is not there, where its developer looks.
    requests_.WatchShellPages([](ShellTrouble trouble, const std::string& url) {
      std::fprintf(stderr, "gameshell: the shell's page for %s: %s\n", url.c_str(),
                   std::string(WordsFor(trouble).english).c_str());
    });
  }
  if (cache_answers_) {
    cache_answers_->SetFetchStarter([this](const std::string& url, PageFetch::PieceTaker piece,
                                           std::function<void(bool whole)> ended) {
      return StartFetch(url, std::move(piece), std::move(ended));
    });
  }
}

GameTab::~GameTab() {
  *alive_ = false;
  if (cache_answers_) {
    cache_answers_->SetFetchStarter(nullptr);
  }
  for (const auto& [id, session] : sessions_) {
    connection_.ForgetSession(id);
  }
}

void GameTab::Start() {
  targets_.DiscoverTargets([this](const TargetDomain::TargetInfo& target) { OnTargetInfo(target); },
                           [this](const std::string& id) { OnTargetDestroyed(id); });
  targets_.OnInfoChanged([this](const TargetDomain::TargetInfo& target) { OnTargetInfo(target); });
  targets_.OnAutoAttached([this](const std::string& parent, const std::string& session_id,
                                 const TargetDomain::TargetInfo& target) {
    OnAutoAttached(parent, session_id, target);
  });
  targets_.OnDetached([this](const std::string& session_id) {
    connection_.ForgetSession(session_id);
    if (main_ && session_id == main_->id) {
      main_ = nullptr;
    }
    sessions_.erase(session_id);
  });
  // Every page the browser opens waits for the shell before its first navigation.
  targets_.AutoAttachPages();
}

void GameTab::Reload() {
  if (main_) {
    requests_.ExpectShellNavigation(main_url_);
    main_->page->Reload();
  }
}

void GameTab::OnPageAttached(const std::string& session_id,
                             const TargetDomain::TargetInfo& target) {
  // The developer tools' own window stays the browser's.
  if (closed_ || target.type != "page" || target.url.starts_with("devtools://")) {
    targets_.Detach(session_id);
    return;
  }
  // The browser starts with the game window alone: its page is the first.
  if (target_id_.empty() && target.opener_id.empty()) {
    target_id_ = target.id;
    requests_.SetMainFrame(target_id_);
    auto session = std::make_unique<Session>();
    session->id = session_id;
    session->type = "page";
    main_ = session.get();
    sessions_[session_id] = std::move(session);
    SetUpMainFrame(*main_);
    return;
  }
  if (!target_id_.empty() && !target.opener_id.empty() &&
      (target.opener_id == target_id_ || popups_.count(target.opener_id) > 0)) {
    AdoptPopup(session_id, target);
    return;
  }
  // A window or tab the player or a page opened: the game window is the only one.
  targets_.Close(target.id);
}

void GameTab::AdoptPopup(const std::string& session_id, const TargetDomain::TargetInfo& target) {
  Popup& popup = popups_[target.id];
  popup.opener_frame_id = target.opener_frame_id;
  popup.opened_by_game = IsGameDocument(target.opener_frame_id);
  popup.info = target;
  popup.session_id = session_id;
  requests_.AddPopup(target.id, frames_.OriginOf(target.opener_frame_id));
  auto owned = std::make_unique<Session>();
  owned->id = session_id;
  owned->type = "page";
  owned->popup = target.id;
  Session& session = *owned;
  sessions_[session_id] = std::move(owned);
  session.runtime = std::make_unique<RuntimeDomain>(connection_, session_id);
  session.runtime->EvaluateForText("JSON.stringify([locationbar.visible, toolbar.visible])",
                                   [this, alive = alive_, id = target.id](const std::string& bars) {
                                     if (*alive) {
                                       OnPopupWindowKnown(id, bars != "[false,false]");
                                     }
                                   });
  // A popup that never says (its first document never came) is not kept.
  loop_.PostDelayed(
      [this, alive = alive_, id = target.id] {
        const auto popup = popups_.find(id);
        if (*alive && popup != popups_.end() && popup->second.window == Popup::Window::kUnknown) {
          OnPopupWindowKnown(id, /*tabs=*/true);
        }
      },
      kPopupWindowAskTime);
  // It goes on once the browser sees its requests and its documents have what the game window's
  // have; a popup whose process has not started yet takes those only once it goes on.
  auto waiting = std::make_shared<int>(2);
  auto go = [this, alive = alive_, waiting, session_id](bool whole) {
    if (!*alive || *waiting == 0 || (!whole && --*waiting > 0)) {
      return;
    }
    *waiting = 0;
    if (const auto found = sessions_.find(session_id); found != sessions_.end()) {
      found->second->runtime->RunIfWaiting();
    }
  };
  loop_.PostDelayed([go] { go(false); }, kPopupProcessWait);
  SetUp(
      session, [go] { go(true); }, [go] { go(false); });
}

void GameTab::WatchPopupTitle(const std::string& target_id) {
  const auto popup = popups_.find(target_id);
  const auto session =
      popup == popups_.end() ? sessions_.end() : sessions_.find(popup->second.session_id);
  if (session == sessions_.end()) {
    return;
  }
  // The browser tells of some titles a page takes and not of others: asked as often as a player
  // would notice.
  session->second->runtime->EvaluateForText(
      "document.title", [this, alive = alive_, target_id](const std::string& title) {
        const auto popup = popups_.find(target_id);
        if (!*alive || popup == popups_.end()) {
          return;
        }
        if (popup->second.page_title != title) {
          popup->second.page_title = title;
          SendPopupTitles();
        }
        loop_.PostDelayed(
            [this, alive, target_id] {
              if (*alive) {
                WatchPopupTitle(target_id);
              }
            },
            kPopupTitleEvery);
      });
}

void GameTab::OnPopupWindowKnown(const std::string& target_id, bool tabs) {
  const auto found = popups_.find(target_id);
  if (found == popups_.end() || found->second.window != Popup::Window::kUnknown) {
    return;
  }
  Popup& popup = found->second;
  if (!tabs) {
    popup.window = Popup::Window::kPopup;
    SendPopupTitles();
    WatchPopupTitle(target_id);
    return;
  }
  popup.window = Popup::Window::kTabs;
  // A window with tabs and an address bar would let the player browse anywhere: what a game
  // document opened there goes to the system's browser, as the game's window.open does.
  if (popup.opened_by_game && !popup.first_url.empty()) {
    delegate_->OnOpenOutside(popup.first_url);
  }
  targets_.Close(target_id);
}

bool GameTab::OnPopupNavigation(Session& session, const FetchDomain::PausedRequest& request) {
  const auto found = popups_.find(session.popup);
  if (found == popups_.end() || request.resource_type != "Document" ||
      request.frame_id != session.popup || request.status || request.failed_answer) {
    return false;
  }
  Popup& popup = found->second;
  if (popup.first_url.empty()) {
    popup.first_url = request.url;
    // A popup the shell's script opened for a link: a popup's window, as it asked.
    auto& opening = links_opening_[popup.opener_frame_id];
    const auto asked = std::find_if(opening.begin(), opening.end(), [&](const std::string& url) {
      return IsSameAddress(url, request.url);
    });
    if (asked != opening.end() && popup.window == Popup::Window::kUnknown) {
      opening.erase(asked);
      popup.window = Popup::Window::kPopup;
      SendPopupTitles();
      WatchPopupTitle(session.popup);
    }
    if (opening.empty()) {
      links_opening_.erase(popup.opener_frame_id);
    }
  }
  if (popup.window != Popup::Window::kTabs) {
    return false;  // judged as any popup's
  }
  session.fetch->Fail(request.id, "Aborted");
  return true;
}

bool GameTab::IsGameDocument(const std::string& frame_id) const {
  if (!frames_.IsGameDocumentChain(frame_id, hosts_)) {
    return false;
  }
  const std::string root = frames_.RootOf(frame_id);
  if (root == target_id_) {
    return true;
  }
  const auto popup = popups_.find(root);
  return popup != popups_.end() && popup->second.opened_by_game;
}

void GameTab::OnTargetInfo(const TargetDomain::TargetInfo& target) {
  const auto popup = popups_.find(target.id);
  if (popup == popups_.end()) {
    return;
  }
  popup->second.info = target;
  SendPopupTitles();
}

void GameTab::SendPopupTitles() {
  std::map<std::string, std::string> titles;
  for (const auto& [id, popup] : popups_) {
    if (popup.window != Popup::Window::kPopup) {
      continue;
    }
    // A document of no host (written by its opener, a blob's) is its opener's: named by that.
    std::optional<UrlAuthority> own = ParseUrlAuthority(popup.info.url);
    const bool hosted = own && !own->host.empty();
    const std::optional<UrlAuthority> opener =
        hosted ? own : ParseUrlAuthority(frames_.OriginOf(popup.opener_frame_id));
    const bool game =
        hosted ? IsGameOrigin(OriginOfUrl(popup.info.url), hosts_) : popup.opened_by_game;
    // The browser names the window by its page's title, or by its address where it has none.
    const std::string& named = popup.page_title.empty() ? popup.info.title : popup.page_title;
    std::string shown = PopupTitle(named, opener ? opener->host : "", game);
    // The browser names two windows alike: both show the host, as one of them must.
    const auto [at, added] = titles.emplace(named, shown);
    if (!added && shown != named) {
      at->second = std::move(shown);
    }
  }
  delegate_->OnPopupTitles(std::move(titles));
}

void GameTab::OnTargetDestroyed(const std::string& target_id) {
  if (popups_.erase(target_id) > 0) {
    requests_.RemovePopup(target_id);
    frames_.Detach(target_id);
    SendPopupTitles();
    return;
  }
  if (target_id == target_id_ && !closed_) {
    closed_ = true;
    delegate_->OnGameTabClosed();
  }
}

void GameTab::OnAutoAttached(const std::string& parent,
                             const std::string& session_id,
                             const TargetDomain::TargetInfo& target) {
  if (parent.empty() && !session_id.empty()) {
    OnPageAttached(session_id, target);
    return;
  }
  if (session_id.empty() || !sessions_.count(parent)) {
    return;  // not of the game window's page
  }
  auto session = std::make_unique<Session>();
  session->id = session_id;
  session->type = target.type;
  if (target.type != "iframe") {
    session->worker_origin = OriginOfUrl(target.url);
  }
  Session& attached = *session;
  sessions_[session_id] = std::move(session);
  // Another origin's worker opens no WebSocket, as its documents open none.
  const bool foreign_worker =
      target.type != "iframe" && !IsGameOrigin(attached.worker_origin, hosts_);
  // It runs nothing until its requests are seen and its documents get what the game's get.
  SetUp(attached, [&attached, foreign_worker] {
    if (foreign_worker) {
      attached.runtime->Evaluate("delete self.WebSocket; delete self.WebSocketStream;");
    }
    attached.runtime->RunIfWaiting();
  });
}

void GameTab::SetUp(Session& session,
                    std::function<void()> ready,
                    std::function<void()> browser_ready) {
  const bool documents = session.type == "page" || session.type == "iframe";
  if (!session.runtime) {
    session.runtime = std::make_unique<RuntimeDomain>(connection_, session.id);
  }
  session.fetch = std::make_unique<FetchDomain>(connection_, session.id);
  Session* const s = &session;
  session.runtime->OnContextCreated(
      [this, s](const RuntimeDomain::Context& context) { OnContextCreated(*s, context); });
  session.runtime->OnContextDestroyed([this, s](int64_t id) {
    s->contexts.erase(id);
    s->shell_contexts.erase(id);
    if (s == main_ && id == lock_context_) {
      lock_context_ = 0;
    }
  });
  session.runtime->OnContextsCleared([this, s] {
    s->contexts.clear();
    s->shell_contexts.clear();
    if (s == main_) {
      lock_context_ = 0;
    }
  });
  session.runtime->OnBindingCalled(
      [this, s](const RuntimeDomain::BindingCall& call) { OnBindingCalled(*s, call); });
  session.fetch->OnRequestPaused([this, s](const FetchDomain::PausedRequest& request) {
    if (!s->popup.empty() && OnPopupNavigation(*s, request)) {
      return;
    }
    requests_.OnPaused(*s->fetch, request, s->worker_origin);
  });
  if (developer_build_) {
    ListenToConsole(session);
  }
  // A page that waits in a process not yet started hears nothing of the commands its documents
  // take until it goes on: `browser_ready` runs once the browser sees its requests and what it
  // starts, and the rest reaches its first document before that runs.
  const int steps = documents ? 11 : 3;
  auto step = [ready = std::move(ready), left = std::make_shared<int>(steps)] {
    if (--*left == 0 && ready) {
      ready();
    }
  };
  auto browser_step = [browser_ready = std::move(browser_ready), left = std::make_shared<int>(2)] {
    if (--*left == 0 && browser_ready) {
      browser_ready();
    }
  };
  auto both = [step, browser_step] {
    step();
    browser_step();
  };
  session.fetch->Enable(both);
  session.runtime->Enable(step);
  targets_.AutoAttach(session.id, both);
  if (!documents) {
    return;
  }
  session.page = std::make_unique<PageDomain>(connection_, session.id);
  // The browser's window is dark before its first page is drawn (its toolkit theme), which the
  // browser also tells pages: they see the light scheme they always had instead.
  connection_.Send(
      "Emulation.setEmulatedMedia",
      {{"features", Json::array({{{"name", "prefers-color-scheme"}, {"value", "light"}}})}},
      session.id, DevToolsConnection::Then(step));
  session.page->OnFrameAttached(
      [this](const std::string& id, const std::string& parent) { frames_.Attach(id, parent); });
  session.page->OnFrameNavigated([this](const PageDomain::Frame& frame) {
    frames_.Navigate(frame.id, frame.parent_id, frame.origin);
    if (frame.id == target_id_) {
      main_url_ = frame.url;
      ++document_wait_;
      // The shell's first page stays out of the game window's history: a history move (a frame
      // of another origin's, say) would blank the game with it.
      if (!first_page_forgotten_ && main_ && IsGameOrigin(frame.origin, hosts_)) {
        first_page_forgotten_ = true;
        ForgetFirstPage();
      }
    }
  });
  session.page->OnFrameDetached([this](const std::string& id) { frames_.Detach(id); });
  session.page->Enable(step);
  session.runtime->AddBinding(kBridgeBinding, step);
  session.page->AddScriptOnNewDocument(PageFunctionsScript(hosts_), step);
  session.page->AddScriptOnNewDocumentInWorld(kCloseLockJs, kLockWorld, step);
  session.page->AddScriptOnNewDocumentInWorld(kNewWindowLinksJs, kLockWorld, step);
  session.runtime->AddBindingInWorld(kPopupBinding, kLockWorld, step);
  if (developer_build_) {
    session.page->AddScriptOnNewDocumentInWorld(kDeveloperKeysJs, kLockWorld);
    session.runtime->AddBindingInWorld(kDevToolsBinding, kLockWorld, step);
  } else {
    session.page->AddScriptOnNewDocumentInWorld(kPlayerKeysJs, kLockWorld, step);
  }
}

void GameTab::SetUpMainFrame(Session& session) {
  // The game loads once all of it is in place: each document from the first of the game on has
  // the functions, and every request of the game is seen. The browser runs commands of different
  // domains side by side, so the load waits for every answer.
  SetUp(session, [this] {
    if (!main_) {
      return;
    }
    main_->page->OnDialogOpening([this](const std::string& type) { OnDialogOpening(type); });
    connection_.ListenOn(main_->id, "Inspector.targetCrashed",
                         [this](const Json&, const std::string&) { OnPageCrashed(); });
    connection_.Send("Inspector.enable", {}, main_->id);
    on_first_page_ = [this] {
      FitWindow([this] {
        if (main_) {
          requests_.ExpectShellNavigation(start_url_);
          main_->page->Navigate(start_url_);
        }
      });
    };
    // The first page may not have its script context yet: then it comes with it.
    if (MainFrameContext()) {
      std::exchange(on_first_page_, nullptr)();
    }
  });
}

void GameTab::ForgetFirstPage(int tries) {
  // The page says its document came before the browser has taken it into the history: a reset
  // then keeps the first page alone, and the game's entry comes after it.
  static constexpr auto kRecheck = std::chrono::milliseconds(100);
  main_->page->ResetNavigationHistory([this, alive = alive_, tries](std::vector<std::string> left) {
    const bool forgotten =
        !left.empty() && std::none_of(left.begin(), left.end(), [](const std::string& url) {
          return url.starts_with("data:");
        });
    if (!*alive || !main_ || forgotten || tries <= 1) {
      return;
    }
    loop_.PostDelayed(
        [this, alive, tries] {
          if (*alive && main_) {
            ForgetFirstPage(tries - 1);
          }
        },
        kRecheck);
  });
}

void GameTab::FitWindow(std::function<void()> then, int tries) {
  // The browser sizes a window with its own frame: what that frame takes, and the screen's room,
  // are read off the first page once it is drawn (before, the window may not have its frame yet),
  // and read again after a move, which the window manager may have changed.
  main_->runtime->EvaluateForText(
      "new Promise(done => requestAnimationFrame(() => requestAnimationFrame(() => done("
      "JSON.stringify([innerWidth, innerHeight, outerWidth, outerHeight, screen.availLeft,"
      " screen.availTop, screen.availWidth, screen.availHeight, screenX, screenY])))))",
      [this, then, tries](const std::string& text) {
        const Json read = Json::parse(text, nullptr, /*allow_exceptions=*/false);
        if (!main_) {
          return;
        }
        if (!read.is_array() || read.size() != 10 ||
            !std::all_of(read.begin(), read.end(), [](const Json& n) { return n.is_number(); })) {
          // The first page's document was still being replaced: asked again, as often.
          if (tries > 0) {
            FitWindow(then, tries - 1);
          } else {
            then();
          }
          return;
        }
        auto at = [&read](size_t i) { return static_cast<int>(read[i].get<double>()); };
        const WindowSize inner{at(0), at(1)};
        const int extra_width = std::max(0, at(2) - inner.width);
        const int extra_height = std::max(0, at(3) - inner.height);
        const FrameMargins frame{extra_width / 2, extra_height - extra_width / 2,
                                 extra_width - extra_width / 2, extra_width / 2};
        // Around the browser's own frame, the window manager's, which the browser does not know.
        const FrameMargins outside = delegate_->WindowFrame().value_or(FrameMargins{});
        const FrameMargins whole{frame.left + outside.left, frame.top + outside.top,
                                 frame.right + outside.right, frame.bottom + outside.bottom};
        const WindowRect area{at(4), at(5), at(6), at(7)};
        const WindowRect placed = FitFramedWindow(
            {area.x + (area.width - kPageSize.width) / 2,
             area.y + (area.height - kPageSize.height) / 2, kPageSize.width, kPageSize.height},
            whole, area, kPageSize, kMinimumPageSize);
        const bool in_place = at(8) == placed.x - frame.left && at(9) == placed.y - frame.top;
        const bool sized = inner.width == placed.width && inner.height == placed.height;
        if ((sized && in_place) || tries == 0) {
          then();
          return;
        }
        // The page needs its size from its first script on, not its place: with the size right,
        // the game loads while the window moves.
        std::function<void()> after = then;
        if (sized) {
          then();
          after = [] {};
        }
        browser_.SetWindowBoundsOf(target_id_, placed.x - frame.left, placed.y - frame.top,
                                   placed.width + extra_width, placed.height + extra_height,
                                   [this, after, tries] { FitWindow(after, tries - 1); });
      });
}

void GameTab::ListenToConsole(Session& session) {
  // One line per message, however many its text has, so that "js:" picks out every one.
  auto line = [](const char* level, const std::string& source, int64_t number, std::string text) {
    for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 2)) {
      text.replace(at, 1, "\\n");
    }
    std::fprintf(stderr, "js: %s: %s:%lld: %s\n", level, source.c_str(),
                 static_cast<long long>(number), text.c_str());
  };
  connection_.ListenOn(
      session.id, "Runtime.consoleAPICalled", [line](const Json& params, const std::string&) {
        const std::string type = StringAt(params, "type");
        std::string text;
        if (const auto args = params.find("args"); args != params.end() && args->is_array()) {
          for (const Json& arg : *args) {
            const Json& value = arg.contains("value") ? arg["value"] : Json();
            text += (text.empty() ? "" : " ") + (value.is_string()  ? value.get<std::string>()
                                                 : !value.is_null() ? value.dump()
                                                                    : StringAt(arg, "description"));
          }
        }
        const Json& stack = ObjectAt(params, "stackTrace");
        const auto frames = stack.find("callFrames");
        const Json& top = frames != stack.end() && frames->is_array() && !frames->empty()
                              ? (*frames)[0]
                              : Json::object();
        line(type == "error"     ? "error"
             : type == "warning" ? "warning"
                                 : "info",
             StringAt(top, "url"), IntAt(top, "lineNumber") + 1, text);
      });
  connection_.ListenOn(
      session.id, "Runtime.exceptionThrown", [line](const Json& params, const std::string&) {
        const Json& details = ObjectAt(params, "exceptionDetails");
        const std::string description = StringAt(ObjectAt(details, "exception"), "description");
        line("error", StringAt(details, "url"), IntAt(details, "lineNumber") + 1,
             description.empty() ? StringAt(details, "text") : description);
      });
}

void GameTab::OnPageCrashed() {
  if (!main_ || main_url_.empty()) {
    return;
  }
  if (crash_budget_.LoadAgainAfterDeath(CrashBudget::Clock::now())) {
    Reload();
    return;
  }
  // Its Retry is the player's: the count starts afresh from it.
  crash_budget_.Forgive();
  requests_.AnswerWithShellPage(main_url_, ShellTrouble::kGameStopped);
  main_->page->Navigate(main_url_);
}

void GameTab::OnGameDocumentSent(const std::string& url) {
  const uint64_t wait = ++document_wait_;
  loop_.PostDelayed(
      [this, alive = alive_, wait, url] {
        if (!*alive || wait != document_wait_ || !main_) {
          return;
        }
        // The host took the connection and says nothing: the shell's page says so, and tries
        // again by itself.
        requests_.AnswerWithShellPage(url, ShellTrouble::kNoAnswer, /*retrying=*/true);
        main_->page->Navigate(url);
      },
      kNoAnswerTime);
}

void GameTab::SetLocked(bool locked) {
  locked_ = locked;
  TellPageLocked();
}

void GameTab::RunInGame(const std::string& script) {
  if (!ShowsTheGame()) {
    return;
  }
  if (const std::optional<int64_t> page = MainFrameContext()) {
    main_->runtime->EvaluateIn(*page, script, /*user_gesture=*/false);
  }
}

std::optional<int64_t> GameTab::MainFrameContext() const {
  if (main_) {
    for (const auto& [id, context] : main_->contexts) {
      if (context.frame_id == target_id_) {
        return id;
      }
    }
  }
  return std::nullopt;
}

bool GameTab::ShowsTheGame() const {
  return IsGameOrigin(frames_.OriginOf(target_id_), hosts_);
}

void GameTab::TellPageLocked() {
  if (main_ && lock_context_ != 0) {
    // The lock holds only while the window shows the game: not for a page it led elsewhere.
    const bool locked = locked_ && ShowsTheGame();
    // The browser asks a page to stay only once the player has acted in it: the lock counts as
    // the player's own act in the document, as it did where the engine asked nothing.
    main_->runtime->EvaluateIn(
        lock_context_, std::string("gameshellSetLocked(") + (locked ? "true" : "false") + ")",
        /*user_gesture=*/locked);
  }
}

bool GameTab::StartFetch(const std::string& url,
                         PageFetch::PieceTaker piece,
                         std::function<void(bool whole)> ended) {
  if (!main_) {
    return false;
  }
  RunFetch({url, std::move(piece), std::move(ended)});
  return true;
}

void GameTab::RunFetch(PendingFetch fetch) {
  // A document that never gets the world (its load failed, say) leaves its fetches to the
  // network.
  constexpr auto kWorldWait = std::chrono::seconds(10);
  // A world that went before the fetch ran in it is replaced; one that keeps going is not.
  constexpr int kMaxTries = 3;
  if (!main_ || fetch.tries >= kMaxTries) {
    fetch.ended(false);
    return;
  }
  // Only a game document's world fetches with the game's cookies and may read the answer.
  if (lock_context_ == 0 || !lock_context_is_game_) {
    if (pending_fetches_.empty()) {
      loop_.PostDelayed(
          [this, alive = alive_, wait = fetch_world_wait_] {
            if (*alive && wait == fetch_world_wait_) {
              for (PendingFetch& pending : std::exchange(pending_fetches_, {})) {
                pending.ended(false);
              }
            }
          },
          kWorldWait);
    }
    pending_fetches_.push_back(std::move(fetch));
    return;
  }
  ++fetch.tries;
  const int64_t context = lock_context_;
  auto pending = std::make_shared<PendingFetch>(std::move(fetch));
  PageFetch::Start(connection_, main_->id, context, pending->url, CacheAnswers::kTakeAtPauseBytes,
                   {pending->piece, pending->ended, [this, alive = alive_, context, pending] {
                      if (!*alive) {
                        pending->ended(false);
                        return;
                      }
                      // Nothing ran: the world went with its document. The next one takes the
                      // fetch.
                      if (lock_context_ == context) {
                        lock_context_ = 0;
                      }
                      RunFetch(std::move(*pending));
                    }});
}

void GameTab::RunPendingFetches() {
  ++fetch_world_wait_;
  for (PendingFetch& fetch : std::exchange(pending_fetches_, {})) {
    RunFetch(std::move(fetch));
  }
}

void GameTab::OnContextCreated(Session& session, const RuntimeDomain::Context& context) {
  if (context.page_world) {
    session.contexts[context.id] = context;
    if (&session == main_ && context.frame_id == target_id_ && on_first_page_) {
      std::exchange(on_first_page_, nullptr)();
    }
    return;
  }
  if (context.name == kLockWorld) {
    session.shell_contexts[context.id] = context.frame_id;
  }
  // The game window's main frame has the page's own id.
  if (&session == main_ && context.name == kLockWorld && context.frame_id == target_id_) {
    lock_context_ = context.id;
    lock_context_is_game_ = hosts_.AllowsUrl(context.origin);
    if (locked_) {
      TellPageLocked();
    }
    RunPendingFetches();
  }
}

void GameTab::OnDialogOpening(const std::string& type) {
  if (type != "beforeunload" || !main_) {
    return;  // the browser's own box, answered by the player
  }
  if (!locked_ || !ShowsTheGame()) {
    main_->page->AnswerDialog(true);
    return;
  }
  // The locked game stays; its hook decides (its own exit prompt, which closes it on yes). The
  // browser asks a page to stay once per act of the player's: the lock is renewed for the next
  // close.
  main_->page->AnswerDialog(false);
  TellPageLocked();
  if (const std::optional<int64_t> page = MainFrameContext()) {
    main_->runtime->EvaluateIn(*page, CloseHookScript(), false, [this](const std::string& result) {
      if (result == kNothingRan) {
        delegate_->OnLockedCloseUnanswered();
      }
    });
    return;
  }
  delegate_->OnLockedCloseUnanswered();
}

void GameTab::OnBindingCalled(Session& session, const RuntimeDomain::BindingCall& call) {
  if (call.name == kDevToolsBinding) {
    if (developer_build_ && session.shell_contexts.count(call.context_id) > 0) {
      targets_.OpenDevTools(session.popup.empty() ? target_id_ : session.popup);
    }
    return;
  }
  if (call.name == kPopupBinding) {
    if (const auto frame = session.shell_contexts.find(call.context_id);
        frame != session.shell_contexts.end()) {
      auto& opening = links_opening_[frame->second];
      if (opening.size() == kLinksOpeningPerFrame) {
        opening.erase(opening.begin());
      }
      opening.push_back(call.payload);
    }
    return;
  }
  if (call.name != kBridgeBinding) {
    return;
  }
  const auto context = session.contexts.find(call.context_id);
  // Judged by the shell's own record of the calling document, never by what the call says.
  if (context == session.contexts.end() || !IsGameOrigin(context->second.origin, hosts_) ||
      !IsGameDocument(context->second.frame_id)) {
    return;
  }
  if (std::optional<BridgeMessage> message = ParseBindingPayload(call.payload)) {
    delegate_->OnGameMessage(*message);
  }
}

}  // namespace gameshell
