#include "cache/core/download_decision.h"

#include "base/core/remote_debugging_port.h"
#include "base/core/url_authority.h"
#include "cache/core/cache_files.h"
#include "cache/core/cache_paths.h"

namespace gameshell {

std::string IndexTokenFor(std::string_view token) {
  return token.empty() ? std::string(" ") : std::string(token);
}

bool MayFillCacheFrom(std::string_view url, const GameHosts& hosts) {
  // Other schemes (data:, blob:, ws:) may mention "http" without being fetchable resources.
  if (!url.starts_with("http://") && !url.starts_with("https://")) {
    return false;
  }
  // The host is not part of the cache path: another host's bytes would become the game's.
  return hosts.AllowsUrl(url);
}

bool MayFollowRedirect(std::string_view from, std::string_view to, const GameHosts& hosts) {
  return MayFillCacheFrom(to, hosts) && !(from.starts_with("https:") && to.starts_with("http:")) &&
         !IsRemoteDebuggingUrl(to);
}

RequestDecision DecideRequest(std::string_view url,
                              const GameHosts& hosts,
                              CacheIndex& index,
                              FileSystem& fs) {
  RequestDecision decision;
  if (!IsCacheableUrl(url) || !MayFillCacheFrom(url, hosts)) {
    return decision;
  }
  ResourceKey key = ResourceKeyFromUrl(url, hosts.LoginOverHttps());
  if (!IsStorableCachePath(key.path)) {
    return decision;
  }
  std::optional<std::string> stored = index.Find(key.path);
  // A path in flux holds bytes of no known version (a kill came between its replacement and its
  // new line): they are never served, not even once while the version asked for downloads.
  decision.disk_copy_usable = index.OwnsFile(key.path) && !(stored && *stored == kNoVersionToken);
  // The caller needs the size either way: one stat serves both.
  decision.stored_stamp = fs.Stamp(key.path);
  // An empty file is never served (a body that never reached the disk reads back so): it counts as
  // missing, so that the next answer replaces it instead of the network answering every run.
  if (stored && (*stored == IndexTokenFor(key.token) || !key.has_query) &&
      decision.disk_copy_usable && decision.stored_stamp &&
      IsServableFileSize(static_cast<int64_t>(decision.stored_stamp->size))) {
    decision.action = RequestAction::kStoredIsCurrent;
  } else {
    decision.action = RequestAction::kDownload;
  }
  decision.key = std::move(key);
  return decision;
}

}  // namespace gameshell
