#include "cache/devtools/cache_answers.h"

#include "cache/core/cache_files.h"
#include "cache/core/cache_paths.h"

namespace gameshell {

CacheAnswers::CacheAnswers(ResourceCache* cache, FileSystem& fs) : cache_(cache), fs_(fs) {}

CacheAnswers::~CacheAnswers() {
  while (!storing_.empty()) {
    Drop(storing_.begin()->first);
  }
}

void CacheAnswers::Drop(const std::string& request_id) {
  const auto storing = storing_.find(request_id);
  if (storing != storing_.end()) {
    cache_->FinishDownload(storing->second, /*complete=*/false);
    storing_.erase(storing);
  }
}

bool CacheAnswers::OnRequest(FetchDomain& fetch,
                             const FetchDomain::PausedRequest& request,
                             const FetchDomain::Headers& extra_headers) {
  // A request that comes back is the next hop of a redirect: what its first hop was to store
  // is not what it brings.
  Drop(request.id);
  if (request.method != "GET") {
    return false;
  }
  const RequestDecision decision = cache_->Decide(request.url);
  if (decision.action == RequestAction::kPassThrough) {
    return false;
  }
  if (decision.action == RequestAction::kStoredIsCurrent && decision.disk_copy_usable) {
    std::string body;
    if (fs_.ReadFile(decision.key.path, &body) &&
        IsServableFileSize(static_cast<int64_t>(body.size()))) {
      FetchDomain::Headers headers = {{"Content-Type", ContentTypeForCachePath(decision.key.path)},
                                      {"Content-Length", std::to_string(body.size())},
                                      {"Cache-Control", "no-store"}};
      headers.insert(headers.end(), extra_headers.begin(), extra_headers.end());
      fetch.Fulfill(request.id, 200, headers, body);
      return true;
    }
    // Gone or unreadable since the decision: the network's answer, stored afresh.
  }
  storing_[request.id] = cache_->BeginDownload(decision.key);
  fetch.Continue(request.id, /*pause_answer=*/true);
  return true;
}

bool CacheAnswers::OnAnswer(FetchDomain& fetch,
                            const FetchDomain::PausedRequest& request,
                            std::function<void()> pass_on) {
  if (!pass_on) {
    pass_on = [fetch, id = request.id] { fetch.Continue(id); };
  }
  const auto storing = storing_.find(request.id);
  if (storing == storing_.end()) {
    return false;
  }
  const ResourceCache::DownloadId download = storing->second;
  storing_.erase(storing);
  if (request.failed_answer || request.status != 200) {
    cache_->FinishDownload(download, /*complete=*/false);
    pass_on();
    return true;
  }
  // The body comes whole once the network has sent it all; a transfer cut short gives none.
  fetch.TakeAnswerBody(
      request.id, [this, download, pass_on = std::move(pass_on)](std::optional<std::string> body) {
        const bool whole = body && cache_->RoomFor(download, static_cast<int64_t>(body->size()));
        if (whole) {
          cache_->AppendToDownload(download, std::move(*body));
        }
        cache_->FinishDownload(download, whole);
        pass_on();
      });
  return true;
}

}  // namespace gameshell
