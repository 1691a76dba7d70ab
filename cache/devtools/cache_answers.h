#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/core/message_loop.h"
#include "base/devtools/fetch_domain.h"
#include "cache/core/resource_cache.h"
#include "platform/file_system.h"

namespace gameshell {

// The resource cache at the browser's paused requests. A request of the game's own hosts whose
// current file the cache holds is answered from that file, with no network request. A new version
// is fetched once, by a fetch of the shell's own in the game window, whose answer (as the page
// would read it, decoded) is stored once that fetch has read it whole: a small one sent as it is
// taken at its pause, whole, anything else handed over by that fetch a piece at a time, so that
// no answer that decodes to gigabytes is ever held whole. Meanwhile an older file answers at once
// where there is one, and requests for the version wait for it and are answered from its file;
// where it is not stored they go to the network. Anything else is not the cache's.
// Once a server has sent an answer as it is with its length, the page's own request for a new
// version of its resources goes to it and its answer is taken at its pause: one request instead of
// two, and the page need not wait for the file; a longer one is read as a stream, and the page's
// request is then answered from the file. An answer that cannot be taken so (encoded, without a
// length, a hop) reaches the page as it came and the shell's fetch stores it; an encoded one sends
// that server's requests back to the shell's fetch for the rest of the run.
// Thread: the shell's loop, which is the cache's deciding thread.
class CacheAnswers {
 public:
  // Each piece of the fetch's answer, in order; `go_on` says whether to read the next.
  using PieceTaker = std::function<void(std::string piece, std::function<void(bool go_on)> go_on)>;
  // Starts a fetch of `url` (its fragment names it) in the game window, which reads its answer to
  // the end, giving each piece to `piece`; `ended` hears whether the answer came whole, as the
  // page's own fetch would have (a length it fell short of or a cut compressed stream fails it).
  // False when none can start now.
  using FetchStarter = std::function<
      bool(const std::string& url, PieceTaker piece, std::function<void(bool whole)> ended)>;

  // A download that learns nothing new for this long is given up.
  static constexpr std::chrono::seconds kStallTimeout{60};
  // The engine's own limit (Chromium's net::kMaxRedirects).
  static constexpr int kMaxRedirects = 20;
  // A body larger than this (a misconfigured server, a decompression bomb) is not stored.
  static constexpr int64_t kMaxBodyBytes = int64_t{1} << 30;
  // An answer sent as it is (no encoding) with a length up to this is taken whole at its pause;
  // the shell's fetch then only reads it to its end.
  static constexpr int64_t kTakeAtPauseBytes = int64_t{4} << 20;
  // Read from a stream at a time.
  static constexpr size_t kStreamPieceBytes = size_t{4} << 20;
  // Written pieces the reading may run ahead of the disk by.
  static constexpr int64_t kMaxBacklogBytes = int64_t{8} << 20;
  // Each download holds a connection: past this many, the page's requests go their own way.
  static constexpr int kMaxDownloadsInFlight = 256;
  // A body that could not be put in place still answers this version's requests for this long.
  static constexpr std::chrono::seconds kKeptBodyTime{10};

  CacheAnswers(ResourceCache* cache, FileSystem& fs, MessageLoop& loop);
  // Lets the requests still waiting go on to the network; what was being stored is dropped.
  ~CacheAnswers();
  CacheAnswers(const CacheAnswers&) = delete;
  CacheAnswers& operator=(const CacheAnswers&) = delete;

  void SetFetchStarter(FetchStarter starter) { fetch_starter_ = std::move(starter); }
  void SetMaxBodyBytesForTesting(int64_t bytes) { max_body_bytes_ = bytes; }
  void SetTakeAtPauseBytesForTesting(int64_t bytes) { take_at_pause_bytes_ = bytes; }
  void SetPageRequestsMayCarryForTesting(bool may) { page_requests_may_carry_ = may; }

  // True for a request of the shell's own fetch (any hop of it): only the cache handles it, and
  // no rule of the page's applies.
  bool IsOwnFetch(const FetchDomain::PausedRequest& request) const;
  // True when the cache took the request: answered it (with `extra_headers` besides its own), holds
  // it until its version is fetched, or let it go on to be stored.
  bool OnRequest(FetchDomain& fetch,
                 const FetchDomain::PausedRequest& request,
                 const FetchDomain::Headers& extra_headers = {});
  // True when the paused answer is one the cache stores; `pass_on` lets it go on to the page
  // after (null: unchanged).
  bool OnAnswer(FetchDomain& fetch,
                const FetchDomain::PausedRequest& request,
                std::function<void()> pass_on = {});

 private:
  struct Waiting {
    FetchDomain fetch;
    std::string request_id;
    FetchDomain::Headers extra_headers;
    bool body_taken =
        false;  // the page's own request, whose answer the cache read: it cannot go on
  };
  // One version of a resource while it is fetched, and what its fetch left.
  struct Resource {
    bool in_flight = false;
    std::vector<Waiting> waiting;
    // Its fetch stored nothing: the network answers it for the rest of the run.
    bool failed = false;
    // A whole body that could not be put in place, answering its requests for a while.
    std::string kept_body;
  };
  // A request whose answer is to be stored.
  struct Carrier {
    bool page_request = false;           // the page's own, not the shell's fetch
    FetchDomain::Headers extra_headers;  // the page's own, when answered from the file
    ResourceKey key;
    ResourceCache::DownloadId download = 0;
    std::string url;  // its current hop's, without the fragment
    int hops = 0;
    std::string fragment;
    bool reading = false;                 // its answer is one to store: taken, or in pieces
    int64_t size = 0;                     // of the pieces so far
    std::optional<int64_t> exact_length;  // what a body sent as is must have
    bool taken = false;               // the body is taken at the pause, not handed over in pieces
    std::optional<std::string> body;  // so taken
    int progress = 0;
  };

  static std::string WithoutFragment(const FetchDomain::PausedRequest& request);
  // A download of the version, which is in flight from now on.
  Carrier BeginCarrier(const ResourceKey& key, const std::string& url);
  bool OnCarrierHop(FetchDomain& fetch, const FetchDomain::PausedRequest& request);
  // "scheme://host[:port]" of an address.
  static std::string ServerOf(const std::string& url);
  // True when the page's own request for a new version may carry its answer to the cache.
  bool MayCarryItsOwn(const FetchDomain::PausedRequest& request, const std::string& url) const;
  // True while a page's request carries this version and its answer has not come.
  bool IsAwaitingPageAnswer(const ResourceKey& key) const;
  // The page's request carried an answer not to be taken at its pause: the shell's fetch stores
  // the version instead.
  void HandOverToOwnFetch(const std::string& request_id);
  // False when the file cannot answer: then nothing was sent.
  bool Serve(const FetchDomain& fetch,
             const std::string& request_id,
             const std::string& file_path,
             const std::string& cache_path,
             const FetchDomain::Headers& extra_headers);
  // False when no fetch could start.
  bool StartOwnFetch(const ResourceKey& key, const std::string& url);
  void OnOwnFetchPiece(const std::string& fragment,
                       std::string piece,
                       std::function<void(bool go_on)> go_on);
  void OnOwnFetchEnded(const std::string& fragment, bool whole);
  // At the answer to the page's own request that carries a version.
  bool OnPageAnswer(FetchDomain& fetch,
                    const FetchDomain::PausedRequest& request,
                    bool plain,
                    bool encoded,
                    std::optional<int64_t> length,
                    std::function<void()> pass_on);
  // The page's own request's answer, too long to take whole, read as a stream into the download;
  // once whole, the request waits for the file like any other.
  void ReadPageStream(const FetchDomain& fetch,
                      const std::string& request_id,
                      const std::string& handle);
  void OnPageStreamPiece(const FetchDomain& fetch,
                         const std::string& request_id,
                         const std::string& handle,
                         std::optional<std::string> piece,
                         bool end);
  // A waiting request the cache does not answer goes on to the network, or fails where it cannot.
  static void LetGo(const Waiting& waiting);
  // The body taken at the pause; nothing when the browser would not give it.
  void OnAnswerBody(const std::string& request_id, std::optional<std::string> body);
  Carrier* ReadingCarrier(const std::string& fragment, std::string* request_id);
  // Appends the piece, then runs `next` once the disk keeps up.
  void AppendThen(ResourceCache::DownloadId download,
                  std::string piece,
                  std::function<void()> next);
  // Stores the body taken at the pause, where there is one.
  void StoreTakenBody(const std::string& request_id);
  void Store(const std::string& request_id);
  // The carrier's body is not stored: its waiting requests go to the network.
  void Drop(const std::string& request_id);
  void Answer(const ResourceKey& key, bool stored, const std::string& kept);
  void WatchForStall(const std::string& request_id);
  void CheckForStall(const std::string& request_id, int progress);

  ResourceCache* const cache_;
  FileSystem& fs_;
  MessageLoop& loop_;
  FetchStarter fetch_starter_;
  int64_t max_body_bytes_ = kMaxBodyBytes;
  int64_t take_at_pause_bytes_ = kTakeAtPauseBytes;
  bool page_requests_may_carry_ = true;
  // Names the shell's own fetches: a page cannot guess it.
  const std::string own_fetch_prefix_;
  int own_fetches_started_ = 0;
  std::unordered_map<ResourceKey, Resource, ResourceKeyHash> resources_;
  int in_flight_ = 0;
  std::map<std::string, Carrier> carriers_;  // by request
  // Servers that sent an answer as it is with its length, and those that also sent an encoded one.
  std::set<std::string> plain_servers_;
  std::set<std::string> mixed_servers_;
  // The shell's fetches started and not yet seen: by fragment.
  std::map<std::string, Carrier> own_fetches_;
  // Tasks posted to the loop run only while this object lives.
  std::shared_ptr<CacheAnswers*> self_;
};

}  // namespace gameshell
