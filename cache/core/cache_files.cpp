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

}  // namespace gameshell
