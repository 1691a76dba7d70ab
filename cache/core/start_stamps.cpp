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

std::pair<std::vector<StartStamps::Entry>::const_iterator,
          std::vector<StartStamps::Entry>::const_iterator>
StartStamps::RangeLocked(const std::string& path) const {
  const uint64_t path_hash = PathHash(path);
  // Two paths of one hash share the range: both are forgotten, and a stamp matches only if it
  // matches both, which costs a download, never wrong bytes.
  return std::equal_range(stamps_.begin(), stamps_.end(), Entry{path_hash, 0},
                          [](const Entry& a, const Entry& b) { return a.first < b.first; });
}

void StartStamps::Forget(const std::string& path) {
  MutexLock lock(&mutex_);
  const auto [first, last] = RangeLocked(path);
  const auto begin = stamps_.begin() + (first - stamps_.cbegin());
  std::for_each(begin, begin + (last - first), [](Entry& entry) { entry.second = 0; });
}

bool StartStamps::Matches(const std::string& path, const FileStamp& stamp) const {
  MutexLock lock(&mutex_);
  if (!sealed_) {
    return false;
  }
  auto [first, last] = RangeLocked(path);
  const uint64_t wanted = StampHash(stamp);
  return first != last &&
         std::all_of(first, last, [&](const Entry& entry) { return entry.second == wanted; });
}

}  // namespace gameshell
