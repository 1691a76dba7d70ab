#include "cache/cache_paths.h"

#include <array>

namespace gameshell {
namespace {

constexpr std::array<std::string_view, 9> kCacheableExtensions = {
    ".webp", ".png", ".jpg", ".astc", ".mp3", ".wav", ".dds", ".conf", ".dat"};

bool ContainsCacheableExtension(std::string_view text) {
  for (std::string_view extension : kCacheableExtensions) {
    if (text.find(extension) != std::string_view::npos) {
      return true;
    }
  }
  return false;
}

}  // namespace

bool IsCacheableUrl(std::string_view url) {
  return ContainsCacheableExtension(url);
}

std::string CachePathFromUrl(std::string_view url) {
  std::string_view result;
  if (size_t scheme_end = url.find("//"); scheme_end != std::string_view::npos) {
    if (size_t slash = url.find('/', scheme_end + 2); slash != std::string_view::npos) {
      result = url.substr(slash + 1);
    }
  }
  return std::string(result.substr(0, result.find('?')));
}

std::string VersionFromUrl(std::string_view url) {
  size_t question = url.find('?');
  return question == std::string_view::npos ? "0" : std::string(url.substr(question + 1));
}

bool IsConfinedCachePath(std::string_view path) {
  if (path.empty()) {
    return false;
  }
  for (unsigned char c : path) {
    if (c < 0x20 || c == 0x7F || c == ':' || c == '\\') {
      return false;
    }
  }
  size_t start = 0;
  while (true) {
    size_t slash = path.find('/', start);
    std::string_view segment = path.substr(start, slash - start);
    if (segment.empty() || segment == "." || segment == "..") {
      return false;
    }
    if (slash == std::string_view::npos) {
      return true;
    }
    start = slash + 1;
  }
}

bool IsStorableCachePath(std::string_view path) {
  if (!IsConfinedCachePath(path)) {
    return false;
  }
  size_t slash = path.rfind('/');
  return ContainsCacheableExtension(slash == std::string_view::npos ? path
                                                                    : path.substr(slash + 1));
}

}  // namespace gameshell
