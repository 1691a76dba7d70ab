#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/file_system.h"

// The directories of the cache's resource files. A path that could leave the cache root (see
// IsConfinedCachePath) is never touched. Any thread.
namespace gameshell {

// Creates every missing directory above the path (the path itself must be confined).
void CreateParentDirectories(const std::string& path, FileSystem& fs = DefaultFileSystem());

// An empty file is never served: it is what a body whose data never reached the disk (a power
// cut) reads back as.
inline bool IsServableFileSize(int64_t size) {
  return size > 0;
}

}  // namespace gameshell
