#pragma once

#include <map>
#include <string>

#include "base/devtools/fetch_domain.h"
#include "cache/core/resource_cache.h"
#include "platform/file_system.h"

namespace gameshell {

// The resource cache at the browser's paused requests. A request of the game's own hosts whose
// current file the cache holds is answered from that file, with no network request. One the cache
// should store goes to the network with its answer paused: the answer's body (as the page gets it,
// decoded) is stored, then the answer goes on to the page unchanged. Anything else is not the
// cache's. Thread: the shell's loop, which is the cache's deciding thread.
class CacheAnswers {
 public:
  CacheAnswers(ResourceCache* cache, FileSystem& fs);
  // Lets the answers still paused go on; what they were storing is dropped.
  ~CacheAnswers();

  // True when the cache took the request: answered it (with `extra_headers` besides its own), or
  // let it go on to be stored.
  bool OnRequest(FetchDomain& fetch,
                 const FetchDomain::PausedRequest& request,
                 const FetchDomain::Headers& extra_headers = {});
  // True when the paused answer is one the cache stores; `pass_on` lets it go on to the page
  // after (null: unchanged).
  bool OnAnswer(FetchDomain& fetch,
                const FetchDomain::PausedRequest& request,
                std::function<void()> pass_on = {});

 private:
  void Drop(const std::string& request_id);

  ResourceCache* const cache_;
  FileSystem& fs_;
  // The downloads the paused answers bring, by request.
  std::map<std::string, ResourceCache::DownloadId> storing_;
};

}  // namespace gameshell
