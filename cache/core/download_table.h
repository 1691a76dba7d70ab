#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/core/mutex.h"
#include "cache/core/cache_paths.h"

// The downloads the deciding side has begun and not yet finished, and for each cache path the
// version it waits for: a download of an older version that ends later is dropped.
// Thread: the deciding thread only (the resource cache holds it under that thread's role), except
// DownloadBacklog, which the writer thread shares.
namespace gameshell {

using DownloadId = uint64_t;

// Bytes of a download queued for the writer: the deciding thread adds, the writer takes off.
// Shared between the two; any thread.
class DownloadBacklog {
 public:
  void Add(int64_t size);
  void Written(int64_t size);
  // True when fewer than `limit` bytes are queued. Otherwise false, and `wake` runs once, on the
  // thread that takes the backlog below it.
  bool WhenBelow(int64_t limit, std::function<void()> wake);
  int64_t bytes() const;

 private:
  mutable Mutex mutex_;
  int64_t bytes_ GUARDED_BY(mutex_) = 0;
  int64_t wake_below_ GUARDED_BY(mutex_) = 0;
  std::function<void()> wake_ GUARDED_BY(mutex_);
};

// Where a download's body goes: its temporary file, and the path and version it is for.
struct DownloadTarget {
  std::string cache_path;
  std::string token;
  std::string temporary_path;
};

class DownloadTable {
 public:
  struct Entry {
    DownloadTarget target;
    std::shared_ptr<DownloadBacklog> backlog = std::make_shared<DownloadBacklog>();
  };

  // From now on the key's path waits for its version.
  DownloadId Add(const ResourceKey& key, std::string temporary_path);
  Entry* Find(DownloadId id);
  // Ends a download: its entry, and whether its version is still the one its path waits for.
  struct Finished {
    Entry entry;
    bool newest = false;
  };
  std::optional<Finished> Take(DownloadId id);
  // Ends every download, as the cache goes.
  std::vector<std::pair<DownloadId, Entry>> TakeAll();

 private:
  DownloadId next_id_ = 0;
  std::unordered_map<DownloadId, Entry> entries_;
  std::unordered_map<std::string, std::string> awaited_token_;  // cache path -> newest token
};

}  // namespace gameshell
