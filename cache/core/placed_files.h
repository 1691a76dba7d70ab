#pragma once

#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/core/mutex.h"
#include "platform/file_system.h"

// The files this shell put in place during the run. Those still as it left them are its own,
// however recently changed (another shell's are not); those whose index lines are not yet written
// are flushed to the disk before the lines are. Shared: the writer thread adds, the deciding
// thread asks, the index's writer takes; any thread.
namespace gameshell {

class PlacedFiles {
 public:
  // `stamp`: the file as it was left; none when it could not be read back.
  void Add(const std::string& path, const std::optional<FileStamp>& stamp);
  // True when this shell put the file at `path` in place and it is still as it left it.
  bool WroteHere(const std::string& path, const FileStamp& stamp) const;
  // True when this shell put the file at `path` in place and it is no longer as it left it (a
  // peer replaced it).
  bool ChangedSince(const std::string& path, FileSystem& fs) const;
  // The files added since the last call, for a flush before their lines are written.
  std::vector<std::string> TakeUnsynced();

 private:
  mutable Mutex mutex_;
  std::unordered_map<std::string, FileStamp> stamps_ GUARDED_BY(mutex_);
  std::vector<std::string> unsynced_ GUARDED_BY(mutex_);
};

}  // namespace gameshell
