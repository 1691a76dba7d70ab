#pragma once

#include <string>
#include <string_view>

#include "cache/core/cache_files.h"
#include "cache/core/cache_paths.h"
#include "platform/file_system.h"

// Whole-file access to the cache root as the shell's writer does it: confined paths only, parent
// directories made, files replaced in one step.
namespace gameshell::testing {

inline bool CacheFileExists(const std::string& path, FileSystem& fs = DefaultFileSystem()) {
  return IsConfinedCachePath(path) && fs.FileSize(path).has_value();
}

// Empty when missing, not a file, or unreadable.
inline std::string ReadCacheFile(const std::string& path, FileSystem& fs = DefaultFileSystem()) {
  std::string content;
  if (CacheFileExists(path, fs)) {
    fs.ReadFile(path, &content);
  }
  return content;
}

inline void WriteCacheFile(const std::string& path,
                           std::string_view content,
                           FileSystem& fs = DefaultFileSystem()) {
  if (!IsConfinedCachePath(path)) {
    return;
  }
  if (!fs.FileSize(path)) {
    CreateParentDirectories(path, fs);
  }
  WriteFileAtomically(fs, path, content);
}

}  // namespace gameshell::testing
