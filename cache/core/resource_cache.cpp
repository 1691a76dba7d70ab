#include "cache/core/resource_cache.h"

#include <algorithm>
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

namespace {

// Files take their times from a coarse clock: one changed this shortly before the index was read
// may be newer than the line that names it.
constexpr int64_t kTrustMarginNs = int64_t{100'000'000};

int64_t WallClockNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

}  // namespace

ResourceCache::ResourceCache(GameHosts hosts, FileSystem& fs)
    : fs_(fs),
      hosts_(std::move(hosts)),
      index_(fs),
      trusted_before_ns_(WallClockNs() - kTrustMarginNs),
      root_for_display_(platform::WorkingDirectoryForDisplay()) {
  index_.SetSaveScheduler([this] { ScheduleSave(); });
  index_.SetBeforeWrite([this] {
    std::vector<std::string> placed;
    {
      MutexLock lock(&placed_mutex_);
      placed.swap(placed_unsynced_);
    }
    fs_.SyncFiles(placed);
  });
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
  // A request never waits long for the index: a huge one, or one on a slow disk, would freeze the
  // window. Meanwhile the page gets its resources from the network.
  if (!index_.WaitUntilLoaded(load_wait_)) {
    return {};
  }
  RequestDecision decision = DecideRequest(url, hosts_, index_, fs_);
  // Another shell on the same cache root may have replaced the file since this one learnt its
  // version: a file changed since shortly before this shell started is taken as current only
  // when this shell wrote it, and is not served meanwhile, not even once.
  if (decision.action == RequestAction::kStoredIsCurrent && decision.stored_stamp &&
      decision.stored_stamp->modified_ns >= trusted_before_ns_.load() &&
      !WroteHere(decision.key.path, *decision.stored_stamp)) {
    decision.action = RequestAction::kDownload;
    decision.disk_copy_usable = false;
  }
  // Each download would be fetched whole and then again by the page: the page alone fetches it.
  if (decision.action == RequestAction::kDownload &&
      (DiskRefusing() || Unplaceable(decision.key.path))) {
    return {};
  }
  return decision;
}

bool ResourceCache::WroteHere(const std::string& path, const FileStamp& stamp) const {
  MutexLock lock(&written_mutex_);
  auto it = written_here_.find(path);
  return it != written_here_.end() && it->second == stamp;
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
  PauseDownloads(disk_refusal_reported_,
                 "无法在 " + root_for_display_ + " 中保存游戏文件，游戏文件将从网络获取。",
                 "cannot write the game's files in " + root_for_display_ +
                     "; they come from the network until it can");
}

void ResourceCache::NoteIndexUnwritable() {
  const std::string where = std::string(kIndexFileName) + " in " + root_for_display_;
  const std::string named = std::string(kIndexFileName) + "（" + root_for_display_ + "）";
  if (fs_.LockHeldElsewhere(kIndexFileName)) {
    PauseDownloads(index_refusal_reported_,
                   "游戏文件的索引 " + named + "被另一个程序占用，游戏文件将从网络获取。",
                   "another program holds the cache index " + where +
                       " (another copy of the game, stopped?); the game's files come from the "
                       "network until it lets go");
  } else {
    PauseDownloads(index_refusal_reported_,
                   "无法写入游戏文件的索引 " + named + "，游戏文件将从网络获取。",
                   "cannot write the cache index " + where +
                       "; the game's files come from the network until it can");
  }
}

void ResourceCache::PauseDownloads(std::atomic<bool>& said,
                                   const std::string& chinese,
                                   const std::string& english) {
  disk_refused_at_ = std::max<int64_t>(SteadySeconds(), 1);
  if (said.exchange(true)) {
    return;
  }
  std::fprintf(stderr, "gameshell: %s\n", english.c_str());
  std::fflush(stderr);
  TroubleReporter reporter;
  {
    MutexLock lock(&trouble_mutex_);
    troubles_said_.emplace_back(chinese, english);
    reporter = trouble_reporter_;
  }
  if (reporter) {
    reporter(chinese, english);
  }
}

void ResourceCache::SetTroubleReporter(TroubleReporter reporter) {
  std::vector<std::pair<std::string, std::string>> said;
  {
    MutexLock lock(&trouble_mutex_);
    trouble_reporter_ = reporter;
    said = troubles_said_;
  }
  for (const auto& [chinese, english] : said) {
    reporter(chinese, english);
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
  std::shared_ptr<Backlog> backlog = it->second.backlog;
  const auto size = static_cast<int64_t>(data.size());
  backlog->Add(size);
  writer_.Post([this, id, backlog, size, body = std::move(data)] {
    WriteOnWriter(id, body);
    backlog->Written(size);
  });
}

void ResourceCache::Backlog::Add(int64_t size) {
  MutexLock lock(&mutex_);
  bytes_ += size;
}

void ResourceCache::Backlog::Written(int64_t size) {
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

bool ResourceCache::Backlog::WhenBelow(int64_t limit, std::function<void()> wake) {
  MutexLock lock(&mutex_);
  if (bytes_ < limit) {
    return true;
  }
  wake_below_ = limit;
  wake_ = std::move(wake);
  return false;
}

int64_t ResourceCache::Backlog::bytes() const {
  MutexLock lock(&mutex_);
  return bytes_;
}

bool ResourceCache::WhenBacklogBelow(DownloadId id, int64_t bytes, std::function<void()> wake) {
  auto it = downloads_.find(id);
  return it == downloads_.end() || it->second.backlog->WhenBelow(bytes, std::move(wake));
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

int64_t ResourceCache::DownloadBacklogForTesting(DownloadId id) const {
  auto it = downloads_.find(id);
  return it == downloads_.end() ? 0 : it->second.backlog->bytes();
}

void ResourceCache::FinishDownload(DownloadId id,
                                   bool complete,
                                   std::function<void(bool stored)> done) {
  FinishDownloadKeeping(id, complete,
                        [this, done = std::move(done)](bool stored, const std::string& kept) {
                          if (!kept.empty()) {
                            fs_.RemoveFile(kept);
                          }
                          if (done) {
                            done(stored);
                          }
                        });
}

void ResourceCache::FinishDownloadKeeping(DownloadId id, bool complete, Done done) {
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

void ResourceCache::CommitWhenDecoded(DownloadId id, Download download, bool keep, Done done) {
  writer_.Post([this, id, download = std::move(download), keep, done = std::move(done)]() mutable {
    auto it = receiving_.find(id);
    if (it != receiving_.end() && it->second.decoding) {
      // Its body is still being decoded, a task at a time: after those tasks.
      CommitWhenDecoded(id, std::move(download), keep, std::move(done));
      return;
    }
    std::string kept;
    const bool stored = CommitOnWriter(id, download, keep, &kept);
    if (done) {
      done(stored, kept);
    } else if (!kept.empty()) {
      fs_.RemoveFile(kept);
    }
  });
}

bool ResourceCache::CommitOnWriter(DownloadId id,
                                   const Download& download,
                                   bool keep,
                                   std::string* kept) {
  auto it = receiving_.find(id);
  bool ok = it != receiving_.end() && it->second.ok && it->second.file &&
            (!it->second.decoder || it->second.decoder->AtEnd());
  // A kill between the rename and the new entry must not leave the old version named over the
  // new bytes; nor may a file whose index cannot say so be replaced at all. The line is written
  // while the body's file is still open and locked: it may wait for another shell's lock on the
  // index, and meanwhile a shell that starts sweeps every unlocked temporary file as a leftover.
  bool index_refused = false;
  if (ok && keep) {
    CreateParentDirectories(download.cache_path, fs_);
    index_refused = !index_.ForgetVersion(download.cache_path);
    index_sync_.Request();
  }
  if (ok && !it->second.file->Close()) {
    OnDiskRefused(it->second);
    ok = false;
  }
  if (it != receiving_.end()) {
    receiving_.erase(it);
  }
  if (ok && keep) {
    // The body still answers the requests waiting for it.
    if (index_refused) {
      NoteIndexUnwritable();
      *kept = download.temporary_path;
      return false;
    }
    // Stamped with the moment it is put in place: another shell that read the index since must
    // not take it for the version its index names, however long ago its last byte was written.
    fs_.StampNow(download.temporary_path);
    if (fs_.Rename(download.temporary_path, download.cache_path)) {
      // Flushed before its line is written, with the others of that write: a power cut may lose
      // the line, never leave it naming bytes that did not reach the disk.
      {
        MutexLock lock(&placed_mutex_);
        placed_unsynced_.push_back(download.cache_path);
      }
      if (std::optional<FileStamp> stamp = fs_.Stamp(download.cache_path)) {
        MutexLock lock(&written_mutex_);
        written_here_[download.cache_path] = *stamp;
      }
      // Recorded only now: a failed or dropped download leaves the previous entry, so the next
      // request asks the network again instead of taking an old file for the new version.
      index_.Update(download.cache_path, IndexTokenFor(download.token));
      return true;
    }
    if (!DiskRefusing()) {
      NoteUnplaceable(download.cache_path);
      *kept = download.temporary_path;
      return false;
    }
  }
  fs_.RemoveFile(download.temporary_path);
  return false;
}

void ResourceCache::NoteUnplaceable(const std::string& path) {
  {
    MutexLock lock(&written_mutex_);
    if (!unplaceable_.insert(path).second) {
      return;
    }
  }
  std::fprintf(stderr,
               "gameshell: cannot put the game's file %s/%s in place (something in the way of its "
               "directory, or one that takes no file); it comes from the network this run\n",
               root_for_display_.c_str(), path.c_str());
  std::fflush(stderr);
}

bool ResourceCache::Unplaceable(const std::string& path) const {
  MutexLock lock(&written_mutex_);
  return unplaceable_.contains(path);
}

void ResourceCache::Start() {
  // Another shell puts a file in place and then appends its line: what changed before the index
  // is read is named by it.
  trusted_before_ns_ = WallClockNs() - kTrustMarginNs;
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
    index_.DropEntriesWithoutFiles(&closing_);
#ifdef __GLIBC__
    // Reading a large index leaves freed buffers behind in this thread's heap.
    malloc_trim(0);
#endif
  });
}

void ResourceCache::SweepDirectory(const std::string& directory) {
  if (closing_) {
    return;  // the next start sweeps
  }
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
  index_saver_.Post([this] {
    save_queued_ = false;
    index_.Flush();
    index_sync_.Request();
  });
}

void ResourceCache::SaveAndWait() {
  // Closing never waits for the start's housekeeping: it stops where it is.
  closing_ = true;
  // The lines appended during the run already hold everything: closing adds the last of them,
  // after the writer has put its last files in place.
  writer_.Flush();
  index_saver_.Post([this] { index_.Flush(/*compact=*/false); });
  index_saver_.Flush();
  index_sync_.Request();
  index_sync_.RunNowAndWait();
}

}  // namespace gameshell
