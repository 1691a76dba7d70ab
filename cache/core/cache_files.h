#pragma once

#include <string>
#include <string_view>

#include "cache/core/file_system.h"

// The resource files of the cache, read and written whole. None throws or reports; a path that
// could leave the cache root (see IsConfinedCachePath) is never touched. Any thread.
namespace gameshell {

// True when the path names an existing file that is not a directory.
bool CacheFileExists(const std::string& path, FileSystem& fs = DefaultFileSystem());

// The whole file; empty when it is missing, not a file, or cannot be read to its end.
std::string ReadCacheFile(const std::string& path, FileSystem& fs = DefaultFileSystem());

// Creates every missing directory above the path (the path itself must be confined).
void CreateParentDirectories(const std::string& path, FileSystem& fs = DefaultFileSystem());

// Creates missing parent directories, then replaces the file in one step: a reader never sees a
// partly written resource, and a failed write leaves the previous file as it was.
void WriteCacheFile(const std::string& path,
                    std::string_view content,
                    FileSystem& fs = DefaultFileSystem());

}  // namespace gameshell
