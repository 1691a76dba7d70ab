#include "client/devtools/game_tab.h"

#include "bridge/devtools/page_functions.h"
#include "embedded/close_lock_js.h"
#include "window/core/close_hook.h"

namespace gameshell {

namespace {
constexpr char kLockWorld[] = "gameshell-close-lock";
}  // namespace

GameTab::GameTab(DevToolsConnection& connection,
                 GameHosts hosts,
                 std::string start_url,
                 CacheAnswers* cache_answers,
                 Delegate* delegate)
    : connection_(connection),
      hosts_(std::move(hosts)),
      start_url_(std::move(start_url)),
      delegate_(delegate),
      targets_(connection),
      cache_answers_(cache_answers) {}

void GameTab::Start() {
  targets_.DiscoverTargets(
      [this](const TargetDomain::TargetInfo& target) { OnTargetCreated(target); },
      [this](const std::string& id) { OnTargetDestroyed(id); });
}

void GameTab::Reload() {
  if (page_) {
    requests_->ExpectShellNavigation(main_url_);
    page_->Reload();
  }
}

void GameTab::OnTargetCreated(const TargetDomain::TargetInfo& target) {
  if (target.type != "page" || closed_) {
    return;
  }
  // The browser starts with the game window alone: its page is the first. Any later one is a
  // window or tab the player or a page opened, and the game window is the only one.
  if (!target_id_.empty()) {
    if (target.id != target_id_) {
      targets_.Close(target.id);
    }
    return;
  }
  target_id_ = target.id;
  targets_.Attach(target_id_, [this](const std::string& session_id) {
    if (session_id.empty()) {
      closed_ = true;
      delegate_->OnGameTabClosed();
      return;
    }
    SetUp(session_id);
  });
}

void GameTab::OnTargetDestroyed(const std::string& target_id) {
  if (target_id == target_id_ && !closed_) {
    closed_ = true;
    delegate_->OnGameTabClosed();
  }
}

void GameTab::SetUp(const std::string& session_id) {
  page_ = std::make_unique<PageDomain>(connection_, session_id);
  runtime_ = std::make_unique<RuntimeDomain>(connection_, session_id);
  page_->OnFrameAttached(
      [this](const std::string& id, const std::string& parent) { frames_.Attach(id, parent); });
  page_->OnFrameNavigated([this](const PageDomain::Frame& frame) {
    frames_.Navigate(frame.id, frame.parent_id, frame.origin);
    if (frame.id == target_id_) {
      main_url_ = frame.url;
    }
  });
  page_->OnFrameDetached([this](const std::string& id) { frames_.Detach(id); });
  runtime_->OnContextCreated(
      [this](const RuntimeDomain::Context& context) { OnContextCreated(context); });
  runtime_->OnContextDestroyed([this](int64_t id) {
    contexts_.erase(id);
    if (id == lock_context_) {
      lock_context_ = 0;
    }
  });
  runtime_->OnContextsCleared([this] {
    contexts_.clear();
    lock_context_ = 0;
  });
  page_->OnDialogOpening([this](const std::string& type) { OnDialogOpening(type); });
  runtime_->OnBindingCalled(
      [this](const RuntimeDomain::BindingCall& call) { OnBindingCalled(call); });
  fetch_ = std::make_unique<FetchDomain>(connection_, session_id);
  requests_ =
      std::make_unique<GameRequests>(fetch_.get(), &frames_, &hosts_, target_id_, cache_answers_);
  fetch_->OnRequestPaused(
      [this](const FetchDomain::PausedRequest& request) { requests_->OnPaused(request); });
  // The game loads once all of it is in place: each document from the first of the game on has
  // the functions, and every request of the game is seen. The browser runs commands of different
  // domains side by side, so the load waits for every answer.
  constexpr int kSteps = 6;
  auto ready = [this, left = std::make_shared<int>(kSteps)] {
    if (--*left == 0) {
      requests_->ExpectShellNavigation(start_url_);
      page_->Navigate(start_url_);
    }
  };
  fetch_->Enable(ready);
  page_->Enable(ready);
  runtime_->Enable(ready);
  runtime_->AddBinding(kBridgeBinding, ready);
  page_->AddScriptOnNewDocument(PageFunctionsScript(hosts_), ready);
  page_->AddScriptOnNewDocumentInWorld(kCloseLockJs, kLockWorld, ready);
}

void GameTab::SetLocked(bool locked) {
  locked_ = locked;
  TellPageLocked();
}

void GameTab::TellPageLocked() {
  if (runtime_ && lock_context_ != 0) {
    // The browser asks a page to stay only once the player has acted in it: the lock counts as
    // the player's own act in the document, as it did where the engine asked nothing.
    runtime_->EvaluateIn(lock_context_,
                         std::string("gameshellSetLocked(") + (locked_ ? "true" : "false") + ")",
                         /*user_gesture=*/locked_);
  }
}

void GameTab::OnContextCreated(const RuntimeDomain::Context& context) {
  if (context.page_world) {
    contexts_[context.id] = context;
    return;
  }
  // The game window's main frame has the page's own id.
  if (context.name == kLockWorld && context.frame_id == target_id_) {
    lock_context_ = context.id;
    if (locked_) {
      TellPageLocked();
    }
  }
}

void GameTab::OnDialogOpening(const std::string& type) {
  if (type != "beforeunload") {
    return;  // the browser's own box, answered by the player
  }
  if (!locked_) {
    page_->AnswerDialog(true);
    return;
  }
  // The locked game stays; its hook decides (its own exit prompt, which closes it on yes). The
  // browser asks a page to stay once per act of the player's: the lock is renewed for the next
  // close.
  page_->AnswerDialog(false);
  TellPageLocked();
  for (const auto& [id, context] : contexts_) {
    if (context.frame_id == target_id_) {
      runtime_->EvaluateIn(id, CloseHookScript(), false, [this](const std::string& result) {
        if (result == kNothingRan) {
          delegate_->OnLockedCloseUnanswered();
        }
      });
      return;
    }
  }
  delegate_->OnLockedCloseUnanswered();
}

void GameTab::OnBindingCalled(const RuntimeDomain::BindingCall& call) {
  if (call.name != kBridgeBinding) {
    return;
  }
  const auto context = contexts_.find(call.context_id);
  // Judged by the shell's own record of the calling document, never by what the call says.
  if (context == contexts_.end() || !IsGameOrigin(context->second.origin, hosts_) ||
      !frames_.IsGameDocumentChain(context->second.frame_id, hosts_)) {
    return;
  }
  if (std::optional<BridgeMessage> message = ParseBindingPayload(call.payload)) {
    delegate_->OnGameMessage(*message);
  }
}

}  // namespace gameshell
