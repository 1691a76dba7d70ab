#include "cache/core/resource_cache.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>

#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <utility>

#include "cache/core/cache_files.h"
#include "cache/core/cache_paths.h"
#include "platform/process_environment.h"

namespace gameshell {

ResourceCache::ResourceCache(GameHosts hosts, FileSystem& fs)
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

namespace {

int64_t SteadySeconds() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

RequestDecision ResourceCache::Decide(std::string_view url) {
  RequestDecision decision = DecideRequest(url, hosts_, index_, fs_);
  // Each download would be fetched whole and then again by the page: the page alone fetches it.
  if (decision.action == RequestAction::kDownload && DiskRefusing()) {
    return {};
  }
  return decision;
}

bool ResourceCache::DiskRefusing() const {
  const int64_t refused_at = disk_refused_at_.load();
  return refused_at != 0 && SteadySeconds() - refused_at < kDiskRetrySeconds;
}

void ResourceCache::OnDiskRefused(Receiving& receiving) {
  if (!receiving.ok) {
    return;
  }
  receiving.ok = false;
  NoteDiskRefused();
  if (receiving.abandoned) {
    receiving.abandoned();
  }
}

void ResourceCache::NoteDiskRefused() {
  disk_refused_at_ = std::max<int64_t>(SteadySeconds(), 1);
  if (!disk_refusal_reported_.exchange(true)) {
    std::fprintf(stderr,
                 "gameshell: cannot write the game's files in %s; they come from the network "
                 "until it can\n",
                 platform::WorkingDirectoryForDisplay().c_str());
    std::fflush(stderr);
  }
}

ResourceCache::DownloadId ResourceCache::BeginDownload(const ResourceKey& key,
                                                       std::function<void()> abandoned) {
  const DownloadId id = ++next_download_id_;
  Download& download = downloads_[id];
  download.cache_path = key.path;
  download.token = key.token;
  download.temporary_path = NewTemporaryPath();
  awaited_token_[key.path] = key.token;
  writer_.Post([this, id, path = download.temporary_path, abandoned = std::move(abandoned)] {
    Receiving& receiving = receiving_[id];
    receiving.abandoned = abandoned;
    receiving.file = fs_.NewWritableFile(path);
    if (!receiving.file) {
      OnDiskRefused(receiving);
    }
  });
  return id;
}

bool ResourceCache::SetBodyEncoding(DownloadId id, std::string_view content_encoding) {
  std::unique_ptr<ContentDecoder> decoder = ContentDecoder::ForEncoding(content_encoding);
  if (!decoder || !downloads_.contains(id)) {
    return false;
  }
  writer_.Post([this, id, decoder = std::shared_ptr<ContentDecoder>(std::move(decoder))] {
    receiving_[id].decoder = decoder;
  });
  return true;
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
    WriteOnWriter(id, body);
    *backlog -= size;
  });
}

void ResourceCache::WriteOnWriter(DownloadId id, std::string_view body) {
  Receiving& receiving = receiving_[id];
  if (!receiving.ok || !receiving.file) {
    return;
  }
  const ContentDecoder::Sink write = [this, &receiving](std::string_view piece) {
    receiving.decoded_bytes += static_cast<int64_t>(piece.size());
    // Past the cap: decoding stops here, and nothing is stored.
    if (receiving.decoded_bytes > kMaxStoredBytes) {
      receiving.ok = false;
      return false;
    }
    if (!receiving.file->Append(piece)) {
      OnDiskRefused(receiving);
      return false;
    }
    return true;
  };
  if (!receiving.decoder) {
    write(body);
    return;
  }
  const ContentDecoder::Status status =
      receiving.decoder->Decode(body, kDecodedBytesPerTask, write);
  receiving.ok = receiving.ok && status != ContentDecoder::Status::kFailed;
  receiving.decoding = receiving.ok && status == ContentDecoder::Status::kMoreOutput;
  if (receiving.decoding) {
    // The rest in a later task: other downloads' pieces, queued meanwhile, go first.
    writer_.Post([this, id] { WriteOnWriter(id, {}); });
  }
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
  CommitWhenDecoded(id, std::move(download), complete && newest, std::move(done));
}

void ResourceCache::CommitWhenDecoded(DownloadId id,
                                      Download download,
                                      bool keep,
                                      std::function<void(bool stored)> done) {
  writer_.Post([this, id, download = std::move(download), keep, done = std::move(done)]() mutable {
    auto it = receiving_.find(id);
    if (it != receiving_.end() && it->second.decoding) {
      // Its body is still being decoded, a task at a time: after those tasks.
      CommitWhenDecoded(id, std::move(download), keep, std::move(done));
      return;
    }
    const bool stored = CommitOnWriter(id, download, keep);
    if (done) {
      done(stored);
    }
  });
}

bool ResourceCache::CommitOnWriter(DownloadId id, const Download& download, bool keep) {
  auto it = receiving_.find(id);
  bool ok = it != receiving_.end() && it->second.ok && it->second.file &&
            (!it->second.decoder || it->second.decoder->AtEnd());
  if (ok && !it->second.file->Close()) {
    OnDiskRefused(it->second);
    ok = false;
  }
  if (it != receiving_.end()) {
    receiving_.erase(it);
  }
  if (ok && keep) {
    CreateParentDirectories(download.cache_path, fs_);
    // A kill between the rename and the new entry must not leave the old version named over the
    // new bytes.
    index_.ForgetVersion(download.cache_path);
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

void ResourceCache::Start() {
  index_.ExpectLoad();
  writer_.Post([this] {
    // A large index is read here, not on the caller's thread; requests wait only if they come
    // first. A torn or junk-filled or overgrown file is rewritten now, not when the player closes.
    index_.Load();
    index_.RewriteIfDue();
    // A root that takes no file would cost every new resource two fetches: know it before the
    // first download starts.
    const std::string probe = NewTemporaryPath();
    std::unique_ptr<WritableFile> file = fs_.NewWritableFile(probe);
    if (!file || !file->Close()) {
      NoteDiskRefused();
    }
    fs_.RemoveFile(probe);
    SweepDirectory("");
    index_.DropEntriesWithoutFiles();
#ifdef __GLIBC__
    // Reading a large index leaves freed buffers behind in this thread's heap.
    malloc_trim(0);
#endif
  });
}

void ResourceCache::SweepDirectory(const std::string& directory) {
  std::vector<std::string> names;
  fs_.ListDirectory(directory, &names);
  for (const std::string& name : names) {
    const std::string path = directory.empty() ? name : directory + "/" + name;
    if (name.starts_with(kTemporaryFilePrefix)) {
      fs_.RemoveUnlockedFile(path);
    } else if (path.size() <= kMaxCachePathBytes && fs_.IsDirectory(path)) {
      SweepDirectory(path);  // resources nest; links are not followed
    }
  }
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
  // The lines appended during the run already hold everything: closing adds the last of them.
  writer_.Post([this] { index_.Flush(/*compact=*/false); });
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
