#include "cache/core/cache_paths.h"

#include <array>
#include <functional>

#include "base/core/ascii.h"
#include "platform/file_system.h"

namespace gameshell {
namespace {

constexpr std::array<std::string_view, 9> kCacheableExtensions = {
    ".webp", ".png", ".jpg", ".astc", ".mp3", ".wav", ".dds", ".conf", ".dat"};

// ".conf" and ".dat" occur inside these longer endings, which the cache has always stored.
constexpr std::array<std::string_view, 2> kLongerExtensions = {".config", ".data"};

bool ContainsCacheableExtension(std::string_view text) {
  for (std::string_view extension : kCacheableExtensions) {
    if (text.find(extension) != std::string_view::npos) {
      return true;
    }
  }
  return false;
}

bool EndsWithCacheableExtension(std::string_view name) {
  for (std::string_view extension : kCacheableExtensions) {
    if (name.ends_with(extension)) {
      return true;
    }
  }
  for (std::string_view extension : kLongerExtensions) {
    if (name.ends_with(extension)) {
      return true;
    }
  }
  return false;
}

// The index file and the temporary files of atomic writes share the cache root with resources.
// Letter case is ignored because some file systems ignore it.
bool IsShellOwnName(std::string_view segment) {
  return EqualsIgnoringAsciiCase(segment, kIndexFileName) ||
         EqualsIgnoringAsciiCase(segment.substr(0, sizeof(kTemporaryFilePrefix) - 1),
                                 kTemporaryFilePrefix);
}

// Windows opens a device, not a file, for these names, with any extension and in any letter case.
bool IsWindowsDeviceName(std::string_view segment) {
  std::string_view base = segment.substr(0, segment.find('.'));
  while (base.ends_with(' ')) {
    base.remove_suffix(1);
  }
  for (std::string_view device : {"CON", "PRN", "AUX", "NUL"}) {
    if (EqualsIgnoringAsciiCase(base, device)) {
      return true;
    }
  }
  for (std::string_view device : {"COM", "LPT"}) {
    if (base.size() < 4 || !EqualsIgnoringAsciiCase(base.substr(0, 3), device)) {
      continue;
    }
    std::string_view number = base.substr(3);
    // A digit, or a superscript one, two or three (UTF-8).
    if ((number.size() == 1 && number[0] >= '0' && number[0] <= '9') || number == "\xC2\xB9" ||
        number == "\xC2\xB2" || number == "\xC2\xB3") {
      return true;
    }
  }
  return false;
}

}  // namespace

const char* ContentTypeForCachePath(std::string_view cache_path) {
  static constexpr std::array<std::pair<std::string_view, const char*>, 6> kTypes = {{
      {".png", "image/png"},
      {".jpg", "image/jpeg"},
      {".webp", "image/webp"},
      {".mp3", "audio/mpeg"},
      {".wav", "audio/wav"},
      {".conf", "text/plain"},
  }};
  for (const auto& [extension, type] : kTypes) {
    if (cache_path.ends_with(extension)) {
      return type;
    }
  }
  return "application/octet-stream";
}

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

namespace {

// The tree a path starts with, or an empty view.
std::string_view TreeOf(std::string_view path) {
  for (std::string_view tree : {std::string_view(kHttpsTree), std::string_view(kHttpTree)}) {
    if (path.size() > tree.size() && path.starts_with(tree) && path[tree.size()] == '/') {
      return tree;
    }
  }
  return {};
}

}  // namespace

ResourceKey ResourceKeyFromUrl(std::string_view url, bool login_over_https) {
  ResourceKey key{CachePathFromUrl(url), VersionFromUrl(url),
                  url.find('?') != std::string_view::npos};
  // Checked before a tree is put in front: no URL's path may name a file of the other scheme's.
  const bool https = url.starts_with("https:");
  if (!IsStorableCachePath(key.path) || !TreeOf(key.path).empty()) {
    key.path.clear();
  } else if (https != login_over_https) {
    key.path = std::string(https ? kHttpsTree : kHttpTree) + '/' + key.path;
  }
  return key;
}

size_t ResourceKeyHash::operator()(const ResourceKey& key) const {
  const std::hash<std::string> hash;
  return hash(key.path) ^ (hash(key.token) * 31) ^ static_cast<size_t>(key.has_query);
}

bool IsConfinedCachePath(std::string_view path) {
  if (path.empty()) {
    return false;
  }
  for (unsigned char c : path) {
    // Besides control characters and separators, the characters Windows forbids in names.
    if (c < 0x20 || c == 0x7F || c == ':' || c == '\\' || c == '<' || c == '>' || c == '"' ||
        c == '|' || c == '?' || c == '*') {
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
    // Windows drops a trailing dot or space, so "a." and "a" would be one file; and devices are
    // never files.
    if (segment.ends_with('.') || segment.ends_with(' ') || IsWindowsDeviceName(segment)) {
      return false;
    }
    if (slash == std::string_view::npos) {
      return true;
    }
    start = slash + 1;
  }
}

bool IsStorableCachePath(std::string_view path) {
  if (std::string_view tree = TreeOf(path); !tree.empty()) {
    path.remove_prefix(tree.size() + 1);
  }
  if (path.size() > kMaxCachePathBytes || !IsConfinedCachePath(path)) {
    return false;
  }
  for (size_t start = 0;;) {
    size_t slash = path.find('/', start);
    std::string_view segment = path.substr(start, slash - start);
    // A leading dot names the hidden files and directories where programs keep their settings,
    // keys and autostart entries: a cache root that is not the shell's own directory holds them.
    if (segment.size() > kMaxCacheSegmentBytes || segment.starts_with('.') ||
        IsShellOwnName(segment)) {
      return false;
    }
    if (slash == std::string_view::npos) {
      return EndsWithCacheableExtension(path.substr(start));
    }
    start = slash + 1;
  }
}

}  // namespace gameshell
