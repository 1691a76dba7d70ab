#include "cache/core/cache_files.h"

#include "cache/core/cache_paths.h"

namespace gameshell {

// Outermost first.
void CreateParentDirectories(const std::string& path, FileSystem& fs) {
  if (!IsConfinedCachePath(path)) {
    return;
  }
  for (size_t slash = path.find('/'); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    fs.CreateDirectory(path.substr(0, slash));
  }
}

bool CacheFileExists(const std::string& path, FileSystem& fs) {
  return IsConfinedCachePath(path) && fs.FileSize(path).has_value();
}

std::string ReadCacheFile(const std::string& path, FileSystem& fs) {
  std::string content;
  if (CacheFileExists(path, fs)) {
    fs.ReadFile(path, &content);
  }
  return content;
}

void WriteCacheFile(const std::string& path, std::string_view content, FileSystem& fs) {
  if (!IsConfinedCachePath(path)) {
    return;
  }
  if (!fs.Exists(path)) {
    CreateParentDirectories(path, fs);
  }
  WriteFileAtomically(fs, path, content);
}

}  // namespace gameshell
