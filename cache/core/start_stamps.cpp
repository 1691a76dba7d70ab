#include "cache/core/start_stamps.h"

#include <algorithm>
#include <functional>

namespace gameshell {

namespace {

uint64_t Mix(uint64_t hash, uint64_t value) {
  // splitmix64's finaliser over the running value: every field moves every bit.
  hash ^= value + 0x9e3779b97f4a7c15ULL + (hash << 6) + (hash >> 2);
  hash ^= hash >> 30;
  hash *= 0xbf58476d1ce4e5b9ULL;
  hash ^= hash >> 27;
  hash *= 0x94d049bb133111ebULL;
  return hash ^ (hash >> 31);
}

// Never 0: a forgotten entry's stamp is 0 and matches nothing.
uint64_t StampHash(const FileStamp& stamp) {
  uint64_t hash = Mix(0, stamp.size);
  hash = Mix(hash, static_cast<uint64_t>(stamp.modified_ns));
  hash = Mix(hash, static_cast<uint64_t>(stamp.changed_ns));
  hash = Mix(hash, stamp.file_id);
  return hash | 1;
}

uint64_t PathHash(const std::string& path) {
  return Mix(0, std::hash<std::string>()(path));
}

}  // namespace

void StartStamps::Add(const std::string& path, const FileStamp& stamp) {
  MutexLock lock(&mutex_);
  stamps_.emplace_back(PathHash(path), StampHash(stamp));
}

void StartStamps::Seal() {
  MutexLock lock(&mutex_);
  std::sort(stamps_.begin(), stamps_.end());
  stamps_.shrink_to_fit();
  sealed_ = true;
}

std::vector<StartStamps::Entry>::iterator StartStamps::FindLocked(uint64_t path_hash) {
  auto it = std::lower_bound(stamps_.begin(), stamps_.end(), Entry{path_hash, 0});
  return it != stamps_.end() && it->first == path_hash ? it : stamps_.end();
}

void StartStamps::Forget(const std::string& path) {
  MutexLock lock(&mutex_);
  // Two paths of one hash: both are forgotten, which costs a download, never wrong bytes.
  for (auto it = FindLocked(PathHash(path)); it != stamps_.end() && it->first == PathHash(path);
       ++it) {
    it->second = 0;
  }
}

bool StartStamps::Matches(const std::string& path, const FileStamp& stamp) const {
  MutexLock lock(&mutex_);
  if (!sealed_) {
    return false;
  }
  const uint64_t path_hash = PathHash(path);
  auto it = std::lower_bound(stamps_.begin(), stamps_.end(), Entry{path_hash, 0});
  // Two paths of one hash: only a stamp that matches one of them counts, and a second path's
  // different stamp never makes a changed file look current.
  const uint64_t wanted = StampHash(stamp);
  bool matches = false;
  for (; it != stamps_.end() && it->first == path_hash; ++it) {
    if (it->second != wanted) {
      return false;
    }
    matches = true;
  }
  return matches;
}

}  // namespace gameshell
