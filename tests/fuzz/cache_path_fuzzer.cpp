// No URL may yield a storable cache path that escapes the cache root.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "cache/core/cache_paths.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string url(reinterpret_cast<const char*>(data), size);
  std::string path = gameshell::CachePathFromUrl(url);
  gameshell::VersionFromUrl(url);
  gameshell::IsCacheableUrl(url);
  if (!gameshell::IsStorableCachePath(path)) {
    return 0;
  }
  if (path.empty() || path.front() == '/' || path.find(':') != std::string::npos ||
      path.find('\\') != std::string::npos || path.find('\0') != std::string::npos) {
    std::abort();
  }
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    std::string segment = path.substr(start, end - start);
    if (segment.empty() || segment == "." || segment == "..") {
      std::abort();
    }
    if (end == std::string::npos) {
      break;
    }
    start = end + 1;
  }
  return 0;
}
