#include "cache/devtools/cache_answers.h"

#include <charconv>
#include <cstdio>
#include <random>

#include "base/core/ascii.h"
#include "cache/core/cache_files.h"
#include "cache/core/cache_paths.h"
#include "cache/core/download_decision.h"

namespace gameshell {

namespace {

std::string RandomName() {
  std::random_device random;
  char name[64];
  std::snprintf(name, sizeof(name), "#gameshell-fetch-%08x%08x%08x%08x-", random(), random(),
                random(), random());
  return name;
}

std::optional<int64_t> AnnouncedLength(const FetchDomain::Headers& headers) {
  const std::optional<std::string> text = FetchDomain::Header(headers, "Content-Length");
  int64_t length = 0;
  if (!text || text->empty() ||
      std::from_chars(text->data(), text->data() + text->size(), length).ec != std::errc() ||
      length < 0) {
    return std::nullopt;
  }
  return length;
}

bool IsDecodedByBrowser(const std::string& encoding) {
  for (const char* known : {"gzip", "x-gzip", "deflate", "br", "zstd"}) {
    if (EqualsIgnoringAsciiCase(encoding, known)) {
      return true;
    }
  }
  return false;
}

}  // namespace

CacheAnswers::CacheAnswers(ResourceCache* cache, FileSystem& fs, MessageLoop& loop)
    : cache_(cache),
      fs_(fs),
      loop_(loop),
      own_fetch_prefix_(RandomName()),
      self_(std::make_shared<CacheAnswers*>(this)) {}

CacheAnswers::~CacheAnswers() {
  *self_ = nullptr;
  for (auto& [id, carrier] : carriers_) {
    cache_->FinishDownload(carrier.download, /*complete=*/false);
  }
  for (auto& [fragment, carrier] : own_fetches_) {
    cache_->FinishDownload(carrier.download, /*complete=*/false);
  }
  for (auto& [key, resource] : resources_) {
    for (const Waiting& waiting : resource.waiting) {
      LetGo(waiting);
    }
    if (!resource.kept_body.empty()) {
      fs_.RemoveFile(resource.kept_body);
    }
  }
}

std::string CacheAnswers::WithoutFragment(const FetchDomain::PausedRequest& request) {
  return request.url.substr(0, request.url.size() - request.url_fragment.size());
}

bool CacheAnswers::IsOwnFetch(const FetchDomain::PausedRequest& request) const {
  return request.url_fragment.starts_with(own_fetch_prefix_);
}

bool CacheAnswers::OnRequest(FetchDomain& fetch,
                             const FetchDomain::PausedRequest& request,
                             const FetchDomain::Headers& extra_headers) {
  if (IsOwnFetch(request)) {
    // A redirect's next hop comes as a request of its own, with the fragment of the first.
    for (auto carrier = carriers_.begin(); carrier != carriers_.end(); ++carrier) {
      if (carrier->second.fragment == request.url_fragment) {
        if (carrier->first != request.id) {
          auto node = carriers_.extract(carrier);
          node.key() = request.id;
          carriers_.insert(std::move(node));
        }
        return OnCarrierHop(fetch, request);
      }
    }
    const auto started = own_fetches_.extract(request.url_fragment);
    if (started.empty()) {
      fetch.Fail(request.id, "Aborted");  // not one the shell started, or one it gave up
      return true;
    }
    carriers_[request.id] = std::move(started.mapped());
    fetch.Continue(request.id, /*pause_answer=*/true);
    WatchForStall(request.id);
    return true;
  }
  // A navigation served from the cache would change no address but would skip the page's own
  // rules for documents.
  if (request.method != "GET" || request.resource_type == "Document") {
    return false;
  }
  const std::string url = WithoutFragment(request);
  const RequestDecision decision = cache_->Decide(url);
  if (decision.action == RequestAction::kPassThrough) {
    return false;
  }
  const auto found = resources_.find(decision.key);
  Resource* resource = found != resources_.end() ? &found->second : nullptr;
  const bool on_disk = decision.disk_copy_usable && decision.stored_stamp &&
                       IsServableFileSize(decision.stored_stamp->size);
  if (decision.action == RequestAction::kStoredIsCurrent) {
    return on_disk && Serve(fetch, request.id, decision.key.path, decision.key.path, extra_headers);
  }
  if (resource && resource->failed) {
    return false;
  }
  if (resource && resource->in_flight) {
    if (on_disk && Serve(fetch, request.id, decision.key.path, decision.key.path, extra_headers)) {
      return true;
    }
    // The page may have given up its request, and nothing would say so: only an answer that is
    // coming is waited for.
    if (IsAwaitingPageAnswer(decision.key)) {
      return false;
    }
    resource->waiting.push_back({fetch, request.id, extra_headers});
    return true;
  }
  if (resource && !resource->kept_body.empty() &&
      Serve(fetch, request.id, resource->kept_body, decision.key.path, extra_headers)) {
    return true;
  }
  if (in_flight_ >= kMaxDownloadsInFlight) {
    return false;
  }
  // The older file answers at once; the new version comes in the background for the next asks.
  if (on_disk && Serve(fetch, request.id, decision.key.path, decision.key.path, extra_headers)) {
    StartOwnFetch(decision.key, url);
    return true;
  }
  if (MayCarryItsOwn(request, url)) {
    Carrier carrier = BeginCarrier(decision.key, url);
    carrier.page_request = true;
    carrier.extra_headers = extra_headers;
    carriers_[request.id] = std::move(carrier);
    fetch.Continue(request.id, /*pause_answer=*/true);
    WatchForStall(request.id);
    return true;
  }
  if (!StartOwnFetch(decision.key, url)) {
    return false;  // the network answers it this time
  }
  resources_[decision.key].waiting.push_back({fetch, request.id, extra_headers});
  return true;
}

std::string CacheAnswers::ServerOf(const std::string& url) {
  const size_t scheme_end = url.find("://");
  if (scheme_end == std::string::npos) {
    return {};
  }
  return url.substr(0, url.find_first_of("/?#", scheme_end + 3));
}

bool CacheAnswers::MayCarryItsOwn(const FetchDomain::PausedRequest& request,
                                  const std::string& url) const {
  if (!page_requests_may_carry_ || plain_servers_.count(ServerOf(url)) == 0) {
    return false;
  }
  // A part, or a "not modified", is not the version's bytes.
  if (request.headers.is_object()) {
    for (const auto& [name, value] : request.headers.items()) {
      if (EqualsIgnoringAsciiCase(name, "Range") || StartsWithIgnoringAsciiCase(name, "If-")) {
        return false;
      }
    }
  }
  return true;
}

bool CacheAnswers::IsAwaitingPageAnswer(const ResourceKey& key) const {
  for (const auto& [id, carrier] : carriers_) {
    if (carrier.page_request && !carrier.reading && carrier.key == key) {
      return true;
    }
  }
  return false;
}

void CacheAnswers::HandOverToOwnFetch(const std::string& request_id) {
  auto node = carriers_.extract(request_id);
  const Carrier& carrier = node.mapped();
  cache_->FinishDownload(carrier.download, /*complete=*/false);
  if (!StartOwnFetch(carrier.key, carrier.url)) {
    Answer(carrier.key, false, {});
  }
}

bool CacheAnswers::OnCarrierHop(FetchDomain& fetch, const FetchDomain::PausedRequest& request) {
  Carrier& carrier = carriers_[request.id];
  const std::string url = WithoutFragment(request);
  // A hop away from the game's hosts would store another host's bytes under the game's path.
  if (++carrier.hops > kMaxRedirects || !MayFollowRedirect(carrier.url, url, cache_->hosts())) {
    Drop(request.id);
    fetch.Fail(request.id, "Aborted");
    return true;
  }
  carrier.url = url;
  ++carrier.progress;
  fetch.Continue(request.id, /*pause_answer=*/true);
  return true;
}

CacheAnswers::Carrier CacheAnswers::BeginCarrier(const ResourceKey& key, const std::string& url) {
  Carrier carrier;
  carrier.key = key;
  carrier.download = cache_->BeginDownload(key);
  carrier.url = url;
  // A version handed from the page's request to the shell's fetch stays in flight once.
  if (!std::exchange(resources_[key].in_flight, true)) {
    ++in_flight_;
  }
  return carrier;
}

bool CacheAnswers::StartOwnFetch(const ResourceKey& key, const std::string& url) {
  if (!fetch_starter_) {
    return false;
  }
  const std::string fragment = own_fetch_prefix_ + std::to_string(++own_fetches_started_);
  const bool started = fetch_starter_(
      url + fragment,
      [self = self_, fragment](std::string piece, std::function<void(bool)> go_on) {
        if (CacheAnswers* answers = *self) {
          answers->OnOwnFetchPiece(fragment, std::move(piece), std::move(go_on));
        } else {
          go_on(false);
        }
      },
      [self = self_, fragment](bool whole) {
        if (CacheAnswers* answers = *self) {
          answers->OnOwnFetchEnded(fragment, whole);
        }
      });
  if (!started) {
    return false;
  }
  Carrier carrier = BeginCarrier(key, url);
  carrier.fragment = fragment;
  own_fetches_[fragment] = std::move(carrier);
  // A fetch the page never sent (its document went first) is given up.
  loop_.PostDelayed(
      [self = self_, fragment] {
        CacheAnswers* answers = *self;
        if (!answers) {
          return;
        }
        const auto started = answers->own_fetches_.extract(fragment);
        if (!started.empty()) {
          answers->cache_->FinishDownload(started.mapped().download, /*complete=*/false);
          answers->Answer(started.mapped().key, false, {});
        }
      },
      kStallTimeout);
  return true;
}

bool CacheAnswers::OnAnswer(FetchDomain& fetch,
                            const FetchDomain::PausedRequest& request,
                            std::function<void()> pass_on) {
  if (!pass_on) {
    pass_on = [fetch, id = request.id] { fetch.Continue(id); };
  }
  const auto found = carriers_.find(request.id);
  if (found == carriers_.end()) {
    return false;
  }
  Carrier& carrier = found->second;
  ++carrier.progress;
  const int status = request.status.value_or(0);
  if (!request.failed_answer && status >= 300 && status < 400 &&
      FetchDomain::Header(request.response_headers, "Location")) {
    if (carrier.page_request) {
      HandOverToOwnFetch(request.id);  // its next hop would be judged as a request of its own
    }
    pass_on();  // a hop, which comes back as a request
    return true;
  }
  const std::string encoding =
      FetchDomain::Header(request.response_headers, "Content-Encoding").value_or("");
  const bool plain = encoding.empty() || EqualsIgnoringAsciiCase(encoding, "identity");
  // What the browser decodes it checks to the stream's end; anything else reaches the page as sent.
  const bool encoded = !plain && IsDecodedByBrowser(encoding);
  const std::optional<int64_t> length = AnnouncedLength(request.response_headers);
  const std::string server = ServerOf(carrier.url);
  if (encoded) {
    plain_servers_.erase(server);
    mixed_servers_.insert(server);
  }
  if (carrier.page_request) {
    return OnPageAnswer(fetch, request, plain, encoded, length, std::move(pass_on));
  }
  if (plain && length && status == 200 && !request.failed_answer &&
      mixed_servers_.count(server) == 0) {
    plain_servers_.insert(server);
  }
  // Stored only when it can be known to have come whole: by its announced length, or by its
  // encoding's own end. A second answer to one fetch is not one to piece together.
  if (request.failed_answer || status != 200 || (!plain && !encoded) || (plain && !length) ||
      carrier.reading ||
      (length && (*length > max_body_bytes_ || !cache_->RoomFor(carrier.download, *length)))) {
    Drop(request.id);
    // Nobody reads the shell's fetch but the shell.
    fetch.Fail(request.id, "Aborted");
    return true;
  }
  carrier.reading = true;
  carrier.exact_length = encoded ? std::nullopt : length;
  if (encoded || *length > take_at_pause_bytes_) {
    pass_on();
    return true;
  }
  carrier.taken = true;
  fetch.TakeAnswerBody(request.id, [self = self_, id = request.id,
                                    pass_on = std::move(pass_on)](std::optional<std::string> body) {
    if (CacheAnswers* answers = *self) {
      answers->OnAnswerBody(id, std::move(body));
    }
    // The page gets it; its fetch then says whether it came whole.
    pass_on();
  });
  return true;
}

bool CacheAnswers::OnPageAnswer(FetchDomain& fetch,
                                const FetchDomain::PausedRequest& request,
                                bool plain,
                                bool encoded,
                                std::optional<int64_t> length,
                                std::function<void()> pass_on) {
  Carrier& carrier = carriers_[request.id];
  const bool whole_answer = !request.failed_answer && request.status == 200;
  if (!whole_answer ||
      (length && (*length > max_body_bytes_ || !cache_->RoomFor(carrier.download, *length)))) {
    Drop(request.id);
  } else if (plain && length && *length <= take_at_pause_bytes_) {
    carrier.reading = true;
    carrier.taken = true;
    carrier.exact_length = length;
    fetch.TakeAnswerBody(request.id, [self = self_, id = request.id, pass_on = std::move(pass_on)](
                                         std::optional<std::string> body) {
      if (CacheAnswers* answers = *self) {
        answers->OnAnswerBody(id, std::move(body));
        answers->StoreTakenBody(id);
      }
      pass_on();
    });
    return true;
  } else if (plain && length) {
    carrier.reading = true;
    carrier.exact_length = length;
    fetch.TakeAnswerBodyAsStream(request.id,
                                 [self = self_, fetch, id = request.id,
                                  pass_on = std::move(pass_on)](std::optional<std::string> handle) {
                                   CacheAnswers* answers = *self;
                                   if (answers && handle) {
                                     answers->ReadPageStream(fetch, id, *handle);
                                     return;
                                   }
                                   if (answers) {
                                     answers->Drop(id);
                                   }
                                   pass_on();
                                 });
    return true;
  } else if (plain || encoded) {
    HandOverToOwnFetch(request.id);
  } else {
    Drop(request.id);
  }
  pass_on();
  return true;
}

void CacheAnswers::ReadPageStream(const FetchDomain& fetch,
                                  const std::string& request_id,
                                  const std::string& handle) {
  fetch.Streams().Read(
      handle, kStreamPieceBytes,
      [self = self_, fetch, request_id, handle](std::optional<std::string> piece, bool end) {
        if (CacheAnswers* answers = *self) {
          answers->OnPageStreamPiece(fetch, request_id, handle, std::move(piece), end);
        }
      });
}

void CacheAnswers::OnPageStreamPiece(const FetchDomain& fetch,
                                     const std::string& request_id,
                                     const std::string& handle,
                                     std::optional<std::string> piece,
                                     bool end) {
  const auto found = carriers_.find(request_id);
  Carrier* carrier = found != carriers_.end() ? &found->second : nullptr;
  if (carrier && piece) {
    ++carrier->progress;
    carrier->size += static_cast<int64_t>(piece->size());
  }
  // A stream reads to its end however short the answer came: its length tells.
  if (!carrier || !piece || carrier->size > *carrier->exact_length ||
      (end && carrier->size != *carrier->exact_length)) {
    fetch.Streams().Close(handle);
    Drop(request_id);
    fetch.Fail(request_id, "Failed");  // as a cut answer would have
    return;
  }
  if (end) {
    fetch.Streams().Close(handle);
    cache_->AppendToDownload(carrier->download, std::move(*piece));
    resources_[carrier->key].waiting.push_back(
        {fetch, request_id, carrier->extra_headers, /*body_taken=*/true});
    Store(request_id);
    return;
  }
  AppendThen(carrier->download, std::move(*piece), [self = self_, fetch, request_id, handle] {
    if (CacheAnswers* answers = *self) {
      answers->ReadPageStream(fetch, request_id, handle);
    }
  });
}

void CacheAnswers::AppendThen(ResourceCache::DownloadId download,
                              std::string piece,
                              std::function<void()> next) {
  cache_->AppendToDownload(download, std::move(piece));
  // A slow disk holds the reading back rather than the pieces piling up in memory.
  if (cache_->WhenBacklogBelow(download, kMaxBacklogBytes, [self = self_, next] {
        if (CacheAnswers* answers = *self) {
          answers->loop_.Post(next);
        }
      })) {
    next();
  }
}

void CacheAnswers::LetGo(const Waiting& waiting) {
  if (waiting.body_taken) {
    waiting.fetch.Fail(waiting.request_id, "Failed");
  } else {
    waiting.fetch.Continue(waiting.request_id);
  }
}

void CacheAnswers::OnAnswerBody(const std::string& request_id, std::optional<std::string> body) {
  const auto carrier = carriers_.find(request_id);
  if (carrier == carriers_.end()) {
    return;
  }
  ++carrier->second.progress;
  if (body && static_cast<int64_t>(body->size()) == carrier->second.exact_length) {
    carrier->second.body = std::move(body);
  } else {
    Drop(request_id);
  }
}

CacheAnswers::Carrier* CacheAnswers::ReadingCarrier(const std::string& fragment,
                                                    std::string* request_id) {
  for (auto& [id, carrier] : carriers_) {
    if (carrier.fragment == fragment) {
      *request_id = id;
      return carrier.reading ? &carrier : nullptr;
    }
  }
  return nullptr;
}

void CacheAnswers::OnOwnFetchPiece(const std::string& fragment,
                                   std::string piece,
                                   std::function<void(bool)> go_on) {
  std::string request_id;
  Carrier* carrier = ReadingCarrier(fragment, &request_id);
  if (!carrier) {
    go_on(false);
    return;
  }
  if (carrier->taken) {
    go_on(true);  // the body is here already
    return;
  }
  ++carrier->progress;
  carrier->size += static_cast<int64_t>(piece.size());
  if (carrier->size > max_body_bytes_ ||
      (carrier->exact_length && carrier->size > *carrier->exact_length) ||
      (!carrier->exact_length && !cache_->RoomFor(carrier->download, carrier->size))) {
    Drop(request_id);
    go_on(false);
    return;
  }
  AppendThen(
      carrier->download, std::move(piece),
      [go_on = std::make_shared<std::function<void(bool)>>(std::move(go_on))] { (*go_on)(true); });
}

void CacheAnswers::OnOwnFetchEnded(const std::string& fragment, bool whole) {
  if (const auto started = own_fetches_.extract(fragment); !started.empty()) {
    // It ended before the browser sent it: its document went, or it was refused.
    cache_->FinishDownload(started.mapped().download, /*complete=*/false);
    Answer(started.mapped().key, false, {});
    return;
  }
  std::string request_id;
  Carrier* carrier = ReadingCarrier(fragment, &request_id);
  if (carrier && whole && carrier->taken && carrier->body) {
    StoreTakenBody(request_id);
  } else if (carrier && whole && !carrier->taken &&
             (carrier->exact_length ? carrier->size == *carrier->exact_length
                                    : carrier->size > 0)) {
    Store(request_id);
  } else if (!request_id.empty()) {
    Drop(request_id);
  }
}

void CacheAnswers::StoreTakenBody(const std::string& request_id) {
  const auto carrier = carriers_.find(request_id);
  if (carrier != carriers_.end() && carrier->second.body) {
    cache_->AppendToDownload(carrier->second.download,
                             *std::exchange(carrier->second.body, std::nullopt));
    Store(request_id);
  }
}

void CacheAnswers::Store(const std::string& request_id) {
  auto node = carriers_.extract(request_id);
  Carrier& carrier = node.mapped();
  cache_->FinishDownloadKeeping(
      carrier.download, /*complete=*/true,
      [self = self_, loop = &loop_, key = carrier.key](bool stored, const std::string& kept) {
        loop->Post([self, key, stored, kept] {
          if (CacheAnswers* answers = *self) {
            answers->Answer(key, stored, kept);
          } else if (!kept.empty()) {
            DefaultFileSystem().RemoveFile(kept);
          }
        });
      });
}

void CacheAnswers::Drop(const std::string& request_id) {
  auto node = carriers_.extract(request_id);
  if (node.empty()) {
    return;
  }
  cache_->FinishDownload(node.mapped().download, /*complete=*/false);
  Answer(node.mapped().key, false, {});
}

void CacheAnswers::Answer(const ResourceKey& key, bool stored, const std::string& kept) {
  const auto found = resources_.find(key);
  if (found == resources_.end() || !found->second.in_flight) {
    if (!kept.empty()) {
      fs_.RemoveFile(kept);
    }
    return;
  }
  Resource& resource = found->second;
  resource.in_flight = false;
  --in_flight_;
  resource.failed = !stored && kept.empty();
  for (const Waiting& waiting : std::exchange(resource.waiting, {})) {
    const std::string& file = stored ? key.path : kept;
    if (file.empty() ||
        !Serve(waiting.fetch, waiting.request_id, file, key.path, waiting.extra_headers)) {
      LetGo(waiting);
    }
  }
  if (kept.empty()) {
    if (!resource.failed) {
      resources_.erase(found);
    }
    return;
  }
  if (!resource.kept_body.empty()) {
    fs_.RemoveFile(resource.kept_body);
  }
  resource.kept_body = kept;
  loop_.PostDelayed(
      [self = self_, key, kept] {
        CacheAnswers* answers = *self;
        if (!answers) {
          return;
        }
        const auto found = answers->resources_.find(key);
        if (found != answers->resources_.end() && found->second.kept_body == kept) {
          found->second.kept_body.clear();
          if (!found->second.in_flight && !found->second.failed) {
            answers->resources_.erase(found);
          }
        }
        answers->fs_.RemoveFile(kept);
      },
      kKeptBodyTime);
}

bool CacheAnswers::Serve(const FetchDomain& fetch,
                         const std::string& request_id,
                         const std::string& file_path,
                         const std::string& cache_path,
                         const FetchDomain::Headers& extra_headers) {
  std::string body;
  if (!fs_.ReadFile(file_path, &body) || !IsServableFileSize(static_cast<int64_t>(body.size()))) {
    return false;
  }
  FetchDomain::Headers headers = {{"Content-Type", ContentTypeForCachePath(cache_path)},
                                  {"Content-Length", std::to_string(body.size())},
                                  {"Cache-Control", "no-store"}};
  headers.insert(headers.end(), extra_headers.begin(), extra_headers.end());
  fetch.Fulfill(request_id, 200, headers, body);
  return true;
}

void CacheAnswers::WatchForStall(const std::string& request_id) {
  const auto carrier = carriers_.find(request_id);
  if (carrier == carriers_.end()) {
    return;
  }
  loop_.PostDelayed(
      [self = self_, request_id, progress = carrier->second.progress] {
        if (CacheAnswers* answers = *self) {
          answers->CheckForStall(request_id, progress);
        }
      },
      kStallTimeout);
}

void CacheAnswers::CheckForStall(const std::string& request_id, int progress) {
  const auto carrier = carriers_.find(request_id);
  if (carrier == carriers_.end()) {
    return;
  }
  // A body still coming is the browser's to time out; a request the browser forgot (its frame
  // gone) is not.
  if (carrier->second.reading || carrier->second.progress != progress) {
    WatchForStall(request_id);
  } else if (carrier->second.page_request) {
    HandOverToOwnFetch(request_id);
  } else {
    Drop(request_id);
  }
}

}  // namespace gameshell
