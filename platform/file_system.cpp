#include "platform/file_system.h"

#include <atomic>
#include <random>

namespace gameshell {

// In the cache root, so that one place holds every leftover of a killed run; the tree below it is
// the shell's own, on the same file system, so the rename stays one step.
std::string NewTemporaryPath() {
  static const uint64_t process_tag = std::random_device{}();
  static std::atomic<uint64_t> counter{0};
  return kTemporaryFilePrefix + std::to_string(process_tag) + "-" + std::to_string(++counter);
}

bool FileSystem::ReplaceFileMerged(const std::string& path,
                                   const std::function<void(std::string_view)>& take,
                                   const std::function<std::string()>& make) {
  const ReadOutcome read = ReadFileInPieces(path, size_t{1} << 16, [&](std::string_view piece) {
    take(piece);
    return true;
  });
  return read != ReadOutcome::kUnusable && WriteFileAtomically(*this, path, make());
}

bool FileSystem::AppendLocked(const std::string& path,
                              const std::function<std::string()>& make,
                              bool sync,
                              const std::function<void()>& then) {
  const std::string content = make();
  if ((!content.empty() && !AppendFile(path, content)) || (sync && !SyncFiles({path}))) {
    return false;
  }
  if (then) {
    then();
  }
  return true;
}

bool FileSystem::ReadFile(const std::string& path, std::string* content) {
  content->clear();
  const bool read = ReadFileInPieces(path, size_t{1} << 16, [content](std::string_view piece) {
                      content->append(piece);
                      return true;
                    }) == ReadOutcome::kRead;
  if (!read) {
    content->clear();
  }
  return read;
}

bool WriteFileAtomically(FileSystem& fs, const std::string& path, std::string_view content) {
  const std::string temporary = NewTemporaryPath();
  // Flushed before the rename: a power cut must not leave the new name over bytes never written.
  if (fs.WriteFile(temporary, content) && fs.SyncFiles({temporary}) && fs.Rename(temporary, path)) {
    return true;
  }
  fs.RemoveFile(temporary);
  return false;
}

}  // namespace gameshell
