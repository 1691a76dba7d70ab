#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Which request URLs the resource cache handles, and where their files live. URLs, paths and
// tokens are UTF-8 byte strings, never decoded or normalised. Stateless; any thread.
namespace gameshell {

// The cache index, in the cache root beside the resources.
inline constexpr char kIndexFileName[] = "fileList.txt";

// True when any cacheable extension occurs anywhere in the URL, query included (case-sensitive).
bool IsCacheableUrl(std::string_view url);

// The MIME type to serve a cached file with, from its extension (the network's own header is not
// kept).
const char* ContentTypeForCachePath(std::string_view cache_path);

// The URL's path after the host, without the query; empty when there is no "//" or no "/" after
// the host. Not yet checked for safety: see IsStorableCachePath.
std::string CachePathFromUrl(std::string_view url);

// The text after the first "?", or "0" when the URL has none.
std::string VersionFromUrl(std::string_view url);

// The directories of the cache root that hold the files of the scheme the login address does not
// use, apart from those of the scheme it does, which keep the URLs' own paths: bytes that came over
// plain http, which anyone on the player's network could have written, are never served for an
// https address, nor the other way round. No URL's own path can name either (no storable segment
// starts with a dot).
inline constexpr char kHttpsTree[] = ".https";  // https files, for a login address over http
inline constexpr char kHttpTree[] = ".http";    // http files, for a login address over https

// A resource as the cache knows it, parsed once from a request URL.
struct ResourceKey {
  // Where its file lives in the cache root: CachePathFromUrl, under the other scheme's tree for a
  // URL whose scheme is not the login address's; empty when that path is not storable
  // (IsStorableCachePath).
  std::string path;
  std::string token;  // VersionFromUrl: the index holds it
  // Without a query the URL names no version, and whichever is stored will do; "?0" names one.
  bool has_query = false;

  bool operator==(const ResourceKey&) const = default;
};

ResourceKey ResourceKeyFromUrl(std::string_view url, bool login_over_https = false);

struct ResourceKeyHash {
  size_t operator()(const ResourceKey& key) const;
};

// True when the path can only name a file inside the cache root: relative, no drive letter or
// ":", no backslash, no control character, and no empty, "." or ".." segment.
bool IsConfinedCachePath(std::string_view path);

// Longest path and path segment the cache stores: within what every file system here takes (a
// name of 255 bytes, a path well inside Linux's 4,096), so that no directory is made for a file
// that could not then be written.
inline constexpr size_t kMaxCachePathBytes = 1024;
inline constexpr size_t kMaxCacheSegmentBytes = 255;

// True when the cache may store and serve the path: kHttpsTree followed by a storable path, or
// confined, no longer than the limits above,
// its file name ends with a cacheable extension (".png", never ".png.so"), no segment starts with
// "." (hidden files: settings, keys, autostart entries), and no segment is one of the shell's own
// files (the index, the temporary files of atomic writes). This keeps a page from planting
// libraries, programs or configuration in the cache root, and from blocking the index.
bool IsStorableCachePath(std::string_view path);

}  // namespace gameshell
