#include "cache/core/download_table.h"

#include <utility>

namespace gameshell {

void DownloadBacklog::Add(int64_t size) {
  MutexLock lock(&mutex_);
  bytes_ += size;
}

void DownloadBacklog::Written(int64_t size) {
  std::function<void()> wake;
  {
    MutexLock lock(&mutex_);
    bytes_ -= size;
    if (wake_ && bytes_ < wake_below_) {
      wake = std::move(wake_);
      wake_ = nullptr;
    }
  }
  if (wake) {
    wake();
  }
}

bool DownloadBacklog::WhenBelow(int64_t limit, std::function<void()> wake) {
  MutexLock lock(&mutex_);
  if (bytes_ < limit) {
    return true;
  }
  wake_below_ = limit;
  wake_ = std::move(wake);
  return false;
}

int64_t DownloadBacklog::bytes() const {
  MutexLock lock(&mutex_);
  return bytes_;
}

DownloadId DownloadTable::Add(const ResourceKey& key, std::string temporary_path) {
  const DownloadId id = ++next_id_;
  entries_[id].target = {key.path, key.token, std::move(temporary_path)};
  awaited_token_[key.path] = key.token;
  return id;
}

DownloadTable::Entry* DownloadTable::Find(DownloadId id) {
  auto it = entries_.find(id);
  return it == entries_.end() ? nullptr : &it->second;
}

std::optional<DownloadTable::Finished> DownloadTable::Take(DownloadId id) {
  auto it = entries_.find(id);
  if (it == entries_.end()) {
    return std::nullopt;
  }
  Finished finished{std::move(it->second)};
  entries_.erase(it);
  const std::string& path = finished.entry.target.cache_path;
  auto awaited = awaited_token_.find(path);
  finished.newest =
      awaited != awaited_token_.end() && awaited->second == finished.entry.target.token;
  bool others_pending = false;
  for (const auto& [other_id, other] : entries_) {
    others_pending |= other.target.cache_path == path;
  }
  if (!others_pending && awaited != awaited_token_.end()) {
    awaited_token_.erase(awaited);
  }
  return finished;
}

std::vector<std::pair<DownloadId, DownloadTable::Entry>> DownloadTable::TakeAll() {
  std::vector<std::pair<DownloadId, Entry>> all(std::make_move_iterator(entries_.begin()),
                                                std::make_move_iterator(entries_.end()));
  entries_.clear();
  awaited_token_.clear();
  return all;
}

}  // namespace gameshell
