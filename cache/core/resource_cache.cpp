#include "cache/core/resource_cache.h"

#include <array>
#include <utility>

#include "cache/core/cache_files.h"

namespace gameshell {

ResourceCache::ResourceCache(CacheHosts hosts, FileSystem& fs)
    : fs_(fs), hosts_(std::move(hosts)), index_(fs) {
  index_.SetSaveScheduler([this] { ScheduleSave(); });
}

ResourceCache::~ResourceCache() {
  // Bodies still arriving are dropped whole.
  for (auto& [id, download] : downloads_) {
    writer_.Post([this, id = id, path = download.temporary_path] {
      receiving_.erase(id);
      fs_.RemoveFile(path);
    });
  }
  writer_.Flush();
}

RequestDecision ResourceCache::Decide(std::string_view url) {
  return DecideRequest(url, hosts_, index_, fs_);
}

ResourceCache::DownloadId ResourceCache::BeginDownload(const std::string& cache_path,
                                                       const std::string& token) {
  const DownloadId id = ++next_download_id_;
  Download& download = downloads_[id];
  download.cache_path = cache_path;
  download.token = token;
  download.temporary_path = NewTemporaryPath();
  awaited_token_[cache_path] = token;
  writer_.Post([this, id, path = download.temporary_path] {
    Receiving& receiving = receiving_[id];
    receiving.file = fs_.NewWritableFile(path);
    receiving.ok = receiving.file != nullptr;
  });
  return id;
}

void ResourceCache::AppendToDownload(DownloadId id, std::string data) {
  auto it = downloads_.find(id);
  if (it == downloads_.end()) {
    return;
  }
  std::shared_ptr<std::atomic<int64_t>> backlog = it->second.backlog;
  const auto size = static_cast<int64_t>(data.size());
  *backlog += size;
  writer_.Post([this, id, backlog, size, body = std::move(data)] {
    Receiving& receiving = receiving_[id];
    receiving.ok = receiving.ok && receiving.file && receiving.file->Append(body);
    *backlog -= size;
  });
}

int64_t ResourceCache::DownloadBacklog(DownloadId id) const {
  auto it = downloads_.find(id);
  return it == downloads_.end() ? 0 : it->second.backlog->load();
}

void ResourceCache::FinishDownload(DownloadId id,
                                   bool complete,
                                   std::function<void(bool stored)> done) {
  auto it = downloads_.find(id);
  if (it == downloads_.end()) {
    return;
  }
  Download download = std::move(it->second);
  downloads_.erase(it);
  auto awaited = awaited_token_.find(download.cache_path);
  const bool newest = awaited != awaited_token_.end() && awaited->second == download.token;
  bool others_pending = false;
  for (const auto& [other_id, other] : downloads_) {
    others_pending |= other.cache_path == download.cache_path;
  }
  if (!others_pending && awaited != awaited_token_.end()) {
    awaited_token_.erase(awaited);
  }
  writer_.Post([this, id, download = std::move(download), keep = complete && newest,
                done = std::move(done)] {
    const bool stored = CommitOnWriter(id, download, keep);
    if (done) {
      done(stored);
    }
  });
}

bool ResourceCache::CommitOnWriter(DownloadId id, const Download& download, bool keep) {
  auto it = receiving_.find(id);
  bool ok = it != receiving_.end() && it->second.ok && it->second.file->Close();
  if (it != receiving_.end()) {
    receiving_.erase(it);
  }
  if (ok && keep) {
    CreateParentDirectories(download.cache_path, fs_);
    if (fs_.Rename(download.temporary_path, download.cache_path)) {
      // Recorded only now: a failed or dropped download leaves the previous entry, so the next
      // request asks the network again instead of taking an old file for the new version.
      index_.Update(download.cache_path, IndexTokenFor(download.token));
      return true;
    }
  }
  fs_.RemoveFile(download.temporary_path);
  return false;
}

void ResourceCache::SweepLeftovers() {
  writer_.Post([this] {
    std::vector<std::string> names;
    fs_.ListDirectory("", &names);
    for (const std::string& name : names) {
      if (!name.starts_with(kTemporaryFilePrefix)) {
        continue;
      }
      std::optional<int64_t> age = fs_.SecondsSinceModified(name);
      if (age && *age > kLeftoverAgeSeconds) {
        fs_.RemoveFile(name);
      }
    }
  });
}

void ResourceCache::ScheduleSave() {
  if (save_queued_.exchange(true)) {
    return;
  }
  writer_.Post([this] {
    save_queued_ = false;
    index_.Flush();
  });
}

void ResourceCache::SaveAndWait() {
  writer_.Post([this] { index_.Save(); });
  writer_.Flush();
}

const char* ContentTypeForCachePath(std::string_view cache_path) {
  static constexpr std::array<std::pair<std::string_view, const char*>, 6> kTypes = {{
      {".png", "image/png"},
      {".jpg", "image/jpeg"},
      {".webp", "image/webp"},
      {".mp3", "audio/mpeg"},
      {".wav", "audio/wav"},
      {".conf", "text/plain"},
  }};
  for (const auto& [extension, type] : kTypes) {
    if (cache_path.ends_with(extension)) {
      return type;
    }
  }
  return "application/octet-stream";
}

}  // namespace gameshell
