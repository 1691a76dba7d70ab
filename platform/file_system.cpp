#include "platform/file_system.h"

#include <algorithm>
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
                                   const std::function<std::string(const std::string&)>& make) {
  std::string current;
  ReadFile(path, &current);
  return WriteFileAtomically(*this, path, make(current));
}

FileSystem::ReadOutcome FileSystem::ReadFileInPieces(
    const std::string& path,
    size_t piece,
    const std::function<bool(std::string_view)>& sink) {
  std::string content;
  if (!ReadFile(path, &content)) {
    return FileSize(path) || IsDirectory(path) ? ReadOutcome::kUnusable : ReadOutcome::kMissing;
  }
  for (std::string_view rest = content; !rest.empty() && sink(rest.substr(0, piece));) {
    rest.remove_prefix(std::min(piece, rest.size()));
  }
  return ReadOutcome::kRead;
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
