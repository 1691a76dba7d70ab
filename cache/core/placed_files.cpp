#include "cache/core/placed_files.h"

namespace gameshell {

void PlacedFiles::Add(const std::string& path, const std::optional<FileStamp>& stamp) {
  MutexLock lock(&mutex_);
  unsynced_.push_back(path);
  if (stamp) {
    stamps_[path] = *stamp;
  }
}

bool PlacedFiles::WroteHere(const std::string& path, const FileStamp& stamp) const {
  MutexLock lock(&mutex_);
  auto it = stamps_.find(path);
  return it != stamps_.end() && it->second == stamp;
}

bool PlacedFiles::ChangedSince(const std::string& path, FileSystem& fs) const {
  std::optional<FileStamp> placed;
  {
    MutexLock lock(&mutex_);
    auto it = stamps_.find(path);
    if (it == stamps_.end()) {
      return false;
    }
    placed = it->second;
  }
  return fs.Stamp(path) != placed;
}

std::vector<std::string> PlacedFiles::TakeUnsynced() {
  std::vector<std::string> taken;
  MutexLock lock(&mutex_);
  taken.swap(unsynced_);
  return taken;
}

}  // namespace gameshell
