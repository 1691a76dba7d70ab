#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

#include "base/core/serial_executor.h"
#include "cache/core/cache_index.h"
#include "cache/core/content_decoder.h"
#include "cache/core/download_decision.h"
#include "platform/file_system.h"

// The resource cache as the browser uses it: the index, the decision for each request, and one
// writer thread that streams downloaded bodies to temporary files, puts complete ones in place
// and records them, and saves the index, in order.
// Thread: the deciding thread (the UI thread in this engine) for Decide and the download calls;
// the index's operations from any thread (the index locks); SaveAndWait from the UI thread at the
// end. Files are written on the writer thread only.
namespace gameshell {

class ResourceCache {
 public:
  explicit ResourceCache(GameHosts hosts, FileSystem& fs = DefaultFileSystem());
  // Lets queued writes finish.
  ~ResourceCache();

  CacheIndex& index() { return index_; }

  // While the cache root refuses writes, new resources pass through instead of being downloaded.
  RequestDecision Decide(std::string_view url);
  const GameHosts& hosts() const { return hosts_; }
  using DownloadId = uint64_t;
  // A body for `key` is about to arrive; from now on its path waits for its token,
  // and a download of an older one that ends later is discarded. `abandoned` runs on the writer
  // thread if the body cannot be written (the disk refused): the download is lost, and the caller
  // should stop it and answer its waiting requests otherwise.
  DownloadId BeginDownload(const ResourceKey& key, std::function<void()> abandoned = {});
  // The body comes with this Content-Encoding, to be stored decoded; false when it cannot be
  // decoded, and then nothing of it is stored. Before the first piece of the body.
  bool SetBodyEncoding(DownloadId id, std::string_view content_encoding);
  // Queues a piece of the body, as sent (still encoded), for the writer.
  void AppendToDownload(DownloadId id, std::string data);
  // Bytes of the download queued and not yet written.
  int64_t DownloadBacklog(DownloadId id) const;
  // `complete`: the whole body arrived by the transfer's own framing. It is put in place and then
  // recorded in the index only when complete, its encoding ended where its format says, its
  // decoded size is within kMaxStoredBytes, and it is still the version its path waits for;
  // otherwise it is dropped. `done` runs on the writer thread afterwards, told whether the file is
  // in place.
  void FinishDownload(DownloadId id, bool complete, std::function<void(bool stored)> done = {});
  // A decoded body larger than this is not stored: a small compressed body may decode to far more.
  static constexpr int64_t kMaxStoredBytes = int64_t{1} << 30;
  // What one writer task decodes of a body at most, so that no body holds up the others.
  static constexpr size_t kDecodedBytesPerTask = size_t{4} << 20;
  // How long the cache root counts as refusing writes after a failure, before downloads are tried
  // again.
  static constexpr int64_t kDiskRetrySeconds = 60;

  // At start, on the writer thread: loads the index (the index's users wait for it meanwhile);
  // finds out whether the cache root takes files; removes the temporary files, at any depth, that
  // killed runs left and that no running shell is writing (a shell holds a lock on each file it
  // writes); drops index entries whose file is gone.
  void Start();
  // Saves the index on the writer thread. Saves asked for while one is still queued are merged:
  // the queued one writes the newest entries anyway.
  void ScheduleSave();
  // Writes what the index has not yet written, after every queued write, and returns when it is on
  // disk. No whole rewrite: a later start compacts the file if it has grown.
  void SaveAndWait();

 private:
  struct Download {
    std::string cache_path;
    std::string token;
    std::string temporary_path;
    std::shared_ptr<std::atomic<int64_t>> backlog = std::make_shared<std::atomic<int64_t>>(0);
  };
  // The writer's side of a download.
  struct Receiving {
    std::unique_ptr<WritableFile> file;
    std::shared_ptr<ContentDecoder> decoder;
    int64_t decoded_bytes = 0;
    bool ok = true;
    bool decoding = false;  // input is left that a later task decodes
    std::function<void()> abandoned;
  };

  // The disk refused a write of a download: it is abandoned, and downloads pause for a while.
  void OnDiskRefused(Receiving& receiving);
  // Downloads pause for a while; the first time, one line on stderr says why.
  void NoteDiskRefused();
  bool DiskRefusing() const;
  void SweepDirectory(const std::string& directory);

  // Decodes and writes a piece of a body, at most kDecodedBytesPerTask of it; the rest in later
  // tasks.
  void WriteOnWriter(DownloadId id, std::string_view body);
  // After the body's decoding has caught up.
  void CommitWhenDecoded(DownloadId id,
                         Download download,
                         bool keep,
                         std::function<void(bool stored)> done);
  // Puts the body in place (keep) or drops it; true when the file is in place and recorded.
  bool CommitOnWriter(DownloadId id, const Download& download, bool keep);

  FileSystem& fs_;
  const GameHosts hosts_;
  CacheIndex index_;
  // Deciding thread only.
  DownloadId next_download_id_ = 0;
  std::unordered_map<DownloadId, Download> downloads_;
  std::unordered_map<std::string, std::string> awaited_token_;  // cache path -> newest token
  // Writer thread only.
  std::unordered_map<DownloadId, Receiving> receiving_;
  std::atomic<bool> save_queued_{false};
  // Seconds on the steady clock of the last refused write; 0: none. Any thread.
  std::atomic<int64_t> disk_refused_at_{0};
  std::atomic<bool> disk_refusal_reported_{false};
  // Last: its thread stops, running what is queued, before the index goes.
  SerialExecutor writer_;
};

// The MIME type to serve a cached file with, from its extension (the network's own header is not
// kept).
const char* ContentTypeForCachePath(std::string_view cache_path);

}  // namespace gameshell
