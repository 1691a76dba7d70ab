#include "client/devtools/game_requests.h"

#include "base/core/ascii.h"
#include "base/devtools/network_domain.h"
#include "client/core/navigation_rules.h"
#include "client/core/request_rules.h"
#include "client/core/shell_page.h"
#include "embedded/shell_page_html.h"

namespace gameshell {

GameRequests::GameRequests(const FrameTree* frames,
                           const GameHosts* hosts,
                           CacheAnswers* cache_answers)
    : frames_(frames), hosts_(hosts), cache_answers_(cache_answers) {}

void GameRequests::OnPaused(FetchDomain& fetch,
                            const FetchDomain::PausedRequest& request,
                            const std::string& worker_origin) {
  if (request.status || request.failed_answer) {
    OnAnswer(fetch, request);
  } else {
    OnRequest(fetch, request, worker_origin);
  }
}

std::string GameRequests::InitiatorOf(const FetchDomain::PausedRequest& request,
                                      const std::string& worker_origin) const {
  if (!worker_origin.empty()) {
    return worker_origin;
  }
  if (request.resource_type != "Document") {
    return frames_->OriginOf(request.frame_id);
  }
  // A navigation names the frame it fills, not who started it: a sub-frame's is its parent
  // document's (which placed it; a frame of another origin navigates the game's top only after
  // the player's click, the engine's own rule), the game window's is its current document's, and
  // so is a popup's, or its opener's before it has one.
  if (request.frame_id == main_frame_id_) {
    return frames_->OriginOf(main_frame_id_);
  }
  if (const auto popup = popup_openers_.find(request.frame_id); popup != popup_openers_.end()) {
    const std::string own = frames_->OriginOf(request.frame_id);
    return own.empty() ? popup->second : own;
  }
  return frames_->OriginOf(frames_->ParentOf(request.frame_id));
}

void GameRequests::OnRequest(FetchDomain& fetch,
                             const FetchDomain::PausedRequest& request,
                             const std::string& worker_origin) {
  readable_for_.erase(request.id);  // a redirect's next hop is judged afresh
  game_window_documents_.erase(request.id);
  if (cache_answers_ && cache_answers_->IsOwnFetch(request)) {
    // The cache's own fetch of a game resource, in the game window: readable there wherever its
    // host is, as the game's own reads are.
    if (auto origin = FetchDomain::RequestHeader(request.headers, "Origin");
        origin && *origin != OriginOfUrl(request.url)) {
      readable_for_[request.id] = *origin;
    }
    cache_answers_->OnRequest(fetch, request);
    return;
  }
  const bool main_frame = request.resource_type == "Document" && request.frame_id == main_frame_id_;
  if (main_frame && !shell_page_url_.empty() && IsSameAddress(request.url, shell_page_url_)) {
    shell_page_url_.clear();
    shell_navigation_.clear();
    AnswerWithPage(fetch, request.id, request.url, shell_page_trouble_, shell_page_retrying_);
    return;
  }
  std::string initiator = InitiatorOf(request, worker_origin);
  if (initiator == "null") {
    initiator.clear();  // an opaque origin: a sandboxed frame, a data: document
  }
  PageRequest judged;
  judged.url = request.url;
  judged.initiator = initiator;
  if (main_frame && !shell_navigation_.empty() && IsSameAddress(request.url, shell_navigation_)) {
    shell_navigation_.clear();
    judged.initiator = "";
    judged.started_by_shell = true;
  }
  judged.kind = request.resource_type != "Document"          ? RequestKind::kSubresource
                : main_frame                                 ? RequestKind::kGameWindowNavigation
                : popup_openers_.count(request.frame_id) > 0 ? RequestKind::kPopupNavigation
                                                             : RequestKind::kFrameNavigation;
  const bool refused_scheme =
      request.resource_type == "Document" && IsRefusedNavigationUrl(request.url, false);
  const RequestVerdict verdict =
      refused_scheme ? RequestVerdict::kBlock : JudgePageRequest(judged, *hosts_);
  if (verdict != RequestVerdict::kAllow) {
    // Aborted: a refused navigation leaves the page where it was, with no error page.
    fetch.Fail(request.id,
               verdict == RequestVerdict::kRefuseNavigation ? "Aborted" : "BlockedByClient");
    return;
  }
  const bool game_reads = IsGameOrigin(initiator, *hosts_) && request.resource_type != "Document" &&
                          FetchDomain::RequestHeader(request.headers, "Origin").has_value() &&
                          OriginOfUrl(request.url) != initiator;
  if (game_reads && request.method == "OPTIONS") {
    // The preflight of a game document's read: answered here, as the engine's own check was off
    // for the game before.
    FetchDomain::Headers grant = {
        {"Access-Control-Allow-Origin", initiator},
        {"Access-Control-Allow-Credentials", "true"},
        {"Access-Control-Allow-Methods",
         FetchDomain::RequestHeader(request.headers, "Access-Control-Request-Method")
             .value_or("GET")},
        {"Access-Control-Max-Age", "600"},
        {"Content-Length", "0"}};
    if (auto headers =
            FetchDomain::RequestHeader(request.headers, "Access-Control-Request-Headers")) {
      grant.emplace_back("Access-Control-Allow-Headers", *headers);
    }
    fetch.Fulfill(request.id, 204, grant, "");
    return;
  }
  const FetchDomain::Headers grant =
      game_reads ? FetchDomain::Headers{{"Access-Control-Allow-Origin", initiator},
                                        {"Access-Control-Allow-Credentials", "true"}}
                 : FetchDomain::Headers{};
  if (game_reads) {
    readable_for_[request.id] = initiator;
  }
  if (cache_answers_ && cache_answers_->OnRequest(fetch, request, grant)) {
    return;
  }
  const bool game_document = main_frame && IsGameOrigin(OriginOfUrl(request.url), *hosts_);
  if (game_document) {
    game_window_documents_.insert(request.id);
    if (document_sent_) {
      document_sent_(request.url);
    }
  }
  fetch.Continue(request.id, /*pause_answer=*/game_reads || game_document);
}

void GameRequests::OnAnswer(FetchDomain& fetch, const FetchDomain::PausedRequest& request) {
  const bool game_document = game_window_documents_.erase(request.id) > 0;
  if (game_document && document_answered_) {
    document_answered_();
  }
  if (game_document && request.failed_answer && probe_) {
    // Refused certificates fail like dead hosts here. The shell's page tells them apart and
    // leaves a refused one to the player: asking again by itself would only keep handing the
    // player's session to whoever stands in between.
    readable_for_.erase(request.id);
    probe_(request.frame_id, request.url,
           [this, fetch, id = request.id, url = request.url](int net_error) {
             const bool refused = NetworkDomain::IsCertificateError(net_error);
             AnswerWithPage(fetch, id, url,
                            refused ? ShellTrouble::kNotPrivate : ShellTrouble::kUnreachable,
                            /*retrying=*/!refused);
           });
    return;
  }
  if (game_document && (request.failed_answer || (request.status && *request.status >= 500))) {
    // The game's document did not come: the shell's page says why, and tries again by itself.
    AnswerWithPage(fetch, request.id, request.url,
                   request.failed_answer ? ShellTrouble::kUnreachable : ShellTrouble::kServerError,
                   /*retrying=*/true);
    readable_for_.erase(request.id);
    return;
  }
  const auto readable = readable_for_.find(request.id);
  std::function<void()> pass_on;
  if (readable != readable_for_.end() && !request.failed_answer && request.status) {
    pass_on = [fetch, id = request.id, status = *request.status,
               headers = ReadableAnswerHeaders(request.response_headers, readable->second)] {
      fetch.ContinueAnswer(id, status, headers);
    };
  } else {
    pass_on = [fetch, id = request.id] { fetch.Continue(id); };
  }
  if (readable != readable_for_.end()) {
    readable_for_.erase(readable);
  }
  if (!cache_answers_ || !cache_answers_->OnAnswer(fetch, request, pass_on)) {
    pass_on();
  }
}

void GameRequests::AnswerWithPage(const FetchDomain& fetch,
                                  const std::string& id,
                                  const std::string& url,
                                  ShellTrouble trouble,
                                  bool retrying) {
  ShellPage page;
  page.trouble = trouble;
  page.retry_url = url;
  page.retrying = retrying;
  page.auto_retry_ms = retrying ? kRetryMs : 0;
  fetch.Fulfill(id, 200,
                {{"Content-Type", "text/html; charset=utf-8"}, {"Cache-Control", "no-store"}},
                FillShellPage(kShellPageHtml, page));
  if (shell_page_shown_) {
    shell_page_shown_(trouble, url);
  }
}

FetchDomain::Headers GameRequests::ReadableAnswerHeaders(const FetchDomain::Headers& answer,
                                                         const std::string& reader) {
  FetchDomain::Headers headers;
  std::string exposed;
  for (const auto& [name, value] : answer) {
    if (StartsWithIgnoringAsciiCase(name, "access-control-")) {
      continue;
    }
    exposed += (exposed.empty() ? "" : ", ") + name;
    headers.emplace_back(name, value);
  }
  headers.emplace_back("Access-Control-Allow-Origin", reader);
  headers.emplace_back("Access-Control-Allow-Credentials", "true");
  if (!exposed.empty()) {
    headers.emplace_back("Access-Control-Expose-Headers", exposed);
  }
  return headers;
}

}  // namespace gameshell
