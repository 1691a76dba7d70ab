#include "cache/core/resource_cache.h"

#include <chrono>
#include <utility>

#include "cache/core/start_housekeeping.h"

namespace gameshell {

ResourceCache::ResourceCache(GameHosts hosts, FileSystem& fs)
    : fs_(fs),
      hosts_(std::move(hosts)),
      index_(fs),
      trouble_(fs),
      writer_(fs, index_, trouble_, placed_) {
  index_.SetSaveScheduler([this] { ScheduleSave(); });
  index_.SetBeforeWrite([this] { fs_.SyncFiles(placed_.TakeUnsynced()); });
  index_.SetReplacedByPeer(
      [this](const std::string& key) { return placed_.ChangedSince(key, fs_); });
}

ResourceCache::~ResourceCache() {
  deciding_role_.AssertHeld();
  for (auto& [id, entry] : downloads_.TakeAll()) {
    writer_.Drop(id, entry.target.temporary_path);
  }
  writer_.WaitForWrites();
}

RequestDecision ResourceCache::Decide(std::string_view url) {
  deciding_role_.AssertHeld();
  // A request never waits long for the index: a huge one, or one on a slow disk, would freeze the
  // window. Meanwhile the page gets its resources from the network.
  if (!load_gate_.WaitUntilOpen(load_wait_)) {
    return {};
  }
  index_.AssertLoaded();
  RequestDecision decision = DecideRequest(url, hosts_, index_, fs_);
  // Another shell on the same cache root may have replaced the file since this one learnt its
  // version: a file is taken as current only while it is as the start found it, or as this shell
  // put it in place, and is not served otherwise, not even once.
  if (decision.action == RequestAction::kStoredIsCurrent && decision.stored_stamp &&
      !start_stamps_.Matches(decision.key.path, *decision.stored_stamp) &&
      !placed_.WroteHere(decision.key.path, *decision.stored_stamp)) {
    decision.action = RequestAction::kDownload;
    decision.disk_copy_usable = false;
  }
  // Each download would be fetched whole and then again by the page: the page alone fetches it.
  if (decision.action == RequestAction::kDownload &&
      (trouble_.DiskRefusing() || trouble_.Unplaceable(decision.key.path))) {
    return {};
  }
  return decision;
}

ResourceCache::DownloadId ResourceCache::BeginDownload(const ResourceKey& key,
                                                       std::function<void()> abandoned) {
  deciding_role_.AssertHeld();
  std::string temporary_path = NewTemporaryPath();
  const DownloadId id = downloads_.Add(key, temporary_path);
  writer_.Open(id, std::move(temporary_path), key.path, std::move(abandoned));
  return id;
}

bool ResourceCache::SetBodyEncoding(DownloadId id, std::string_view content_encoding) {
  deciding_role_.AssertHeld();
  std::unique_ptr<ContentDecoder> decoder = ContentDecoder::ForEncoding(content_encoding);
  if (!decoder || !downloads_.Find(id)) {
    return false;
  }
  writer_.SetDecoder(id, std::move(decoder));
  return true;
}

bool ResourceCache::RoomFor(DownloadId id, int64_t announced_bytes) {
  deciding_role_.AssertHeld();
  DownloadTable::Entry* entry = downloads_.Find(id);
  if (!entry) {
    return false;
  }
  if (trouble_.RoomFor(announced_bytes)) {
    return true;
  }
  trouble_.NoteNoRoomFor(entry->target.cache_path, announced_bytes);
  return false;
}

void ResourceCache::AppendToDownload(DownloadId id, std::string data) {
  deciding_role_.AssertHeld();
  DownloadTable::Entry* entry = downloads_.Find(id);
  if (!entry) {
    return;
  }
  const auto size = static_cast<int64_t>(data.size());
  entry->backlog->Add(size);
  writer_.Write(id, std::move(data), [backlog = entry->backlog, size] { backlog->Written(size); });
}

bool ResourceCache::WhenBacklogBelow(DownloadId id, int64_t bytes, std::function<void()> wake) {
  deciding_role_.AssertHeld();
  DownloadTable::Entry* entry = downloads_.Find(id);
  return !entry || entry->backlog->WhenBelow(bytes, std::move(wake));
}

int64_t ResourceCache::DownloadBacklogForTesting(DownloadId id) {
  deciding_role_.AssertHeld();
  DownloadTable::Entry* entry = downloads_.Find(id);
  return entry ? entry->backlog->bytes() : 0;
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

void ResourceCache::FinishDownloadKeeping(
    DownloadId id,
    bool complete,
    std::function<void(bool stored, const std::string& kept)> done) {
  deciding_role_.AssertHeld();
  std::optional<DownloadTable::Finished> finished = downloads_.Take(id);
  if (finished) {
    writer_.Commit(id, std::move(finished->entry.target), {complete, finished->newest},
                   std::move(done));
  }
}

void ResourceCache::Start() {
  load_gate_.Close();
  index_.ExpectLoad();
  writer_.Post([this] {
    RunStartHousekeeping({index_, fs_, trouble_, start_stamps_, load_gate_, closing_});
  });
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
  writer_.WaitForWrites();
  index_saver_.Post([this] { index_.Flush(/*compact=*/false); });
  index_saver_.WaitForPostedJobs();
  index_sync_.Request();
  index_sync_.RunNowAndWait();
}

}  // namespace gameshell
