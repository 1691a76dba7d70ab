#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/core/game_hosts.h"
#include "cache/core/cache_index.h"
#include "cache/core/cache_paths.h"
#include "platform/file_system.h"

// What the cache does with one request, decided before the engine loads it. Engine-neutral;
// called on whichever thread the engine intercepts requests on.
namespace gameshell {

enum class RequestAction {
  kPassThrough,      // not the cache's business: the engine loads it as usual
  kStoredIsCurrent,  // the file on disk is the version asked for: serve it
  kDownload,         // a new version or no file: fetch it; the index takes its token once the file
                     // is in place, so a failed download leaves the previous entry
};

struct RequestDecision {
  RequestAction action = RequestAction::kPassThrough;
  ResourceKey key;  // set unless passed through
  // False when a file at the path holds bytes of no known version (its line marks it in flux) or
  // another spelling's bytes (where names ignore case): it must not be served for this request,
  // not even once.
  bool disk_copy_usable = true;
  // Size and time of last change of the file at the path when the decision was made (a stat,
  // never a read); none when no file is there.
  std::optional<FileStamp> stored_stamp;
};

// The index's form of a version token. The empty token (a URL ending in "?") would make a line
// that readers of the index file skip, so it is kept as a single space, which no engine's URL
// carries in its query.
std::string IndexTokenFor(std::string_view token);

// True for an http(s) URL of one of the game's own hosts: only their bytes may become the game's
// files.
bool MayFillCacheFrom(std::string_view url, const GameHosts& hosts);

// True when the shell's download of a resource may follow a redirect from `from` to `to`: to
// another of the game's hosts, never from https to http, and never to the debugging endpoint. Any
// other redirect would store a foreign host's bytes under the game's path.
bool MayFollowRedirect(std::string_view from, std::string_view to, const GameHosts& hosts);

// Only http(s) URLs of the game's own hosts whose cache path is storable are considered; the
// stored copy is current when the index holds the request's token (or the request has no query;
// "?0" is a token like any other) and the file exists.
RequestDecision DecideRequest(std::string_view url,
                              const GameHosts& hosts,
                              CacheIndex& index,
                              FileSystem& fs = DefaultFileSystem()) REQUIRES(index.loaded());

}  // namespace gameshell
