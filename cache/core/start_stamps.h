#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "base/core/mutex.h"
#include "platform/file_system.h"

// The files the index named at the start, as they were then: one look at each, taken after the
// index was read. A file is what this shell's index names only while it is still as it was (or
// this shell put it in place since): another shell's replacement changes its id and change time,
// whatever any clock says. Kept as hashes, 16 bytes an entry, so a large cache costs little.
// Shared: the writer thread records them before any request is decided; the deciding thread asks.
namespace gameshell {

class StartStamps {
 public:
  // Records, in any order, until Seal.
  void Add(const std::string& path, const FileStamp& stamp);
  // Sorts what was recorded; only then does Matches say yes.
  void Seal();
  // Another shell wrote a line for `path` since the index was read: its file is not taken for
  // the version this shell read, whatever it holds.
  void Forget(const std::string& path);
  // True when `path` was recorded, not forgotten, and is still as recorded.
  bool Matches(const std::string& path, const FileStamp& stamp) const;

 private:
  using Entry = std::pair<uint64_t, uint64_t>;  // the path's hash, the stamp's
  // The entries recorded under `path`'s hash; only once sealed (sorted).
  std::pair<std::vector<Entry>::const_iterator, std::vector<Entry>::const_iterator> RangeLocked(
      const std::string& path) const REQUIRES(mutex_);

  mutable Mutex mutex_;
  std::vector<Entry> stamps_ GUARDED_BY(mutex_);
  bool sealed_ GUARDED_BY(mutex_) = false;
};

}  // namespace gameshell
