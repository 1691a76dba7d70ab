#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "base/core/mutex.h"
#include "base/core/paced_job.h"
#include "base/core/serial_executor.h"
#include "cache/core/cache_index.h"
#include "cache/core/content_decoder.h"
#include "cache/core/download_decision.h"
#include "platform/file_system.h"

// The resource cache as the browser uses it: the index, the decision for each request, one writer
// thread that streams downloaded bodies to temporary files, puts complete ones in place and
// records them, in order, one that appends the index's lines once their files are on the disk, and
// one that flushes those lines to the disk, once a second at most.
// Thread: the deciding thread (the UI thread in this engine) for Decide and the download calls;
// the index's operations from any thread (the index locks); SaveAndWait from the UI thread at the
// end. Resource files are written on the writer thread only.
namespace gameshell {

class ResourceCache {
 public:
  explicit ResourceCache(GameHosts hosts, FileSystem& fs = DefaultFileSystem());
  // Lets queued writes finish.
  ~ResourceCache();

  CacheIndex& index() { return index_; }

  // While the cache root refuses writes, new resources pass through instead of being downloaded;
  // so do all while the index is still loading, after kLoadWaitMs.
  RequestDecision Decide(std::string_view url);
  static constexpr int kLoadWaitMs = 250;
  void SetLoadWaitForTesting(std::chrono::milliseconds wait) { load_wait_ = wait; }
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
  // True when fewer than `bytes` of the download are queued and not yet written. Otherwise false,
  // and `wake` runs once on the writer thread when they are: the reader pauses meanwhile.
  bool WhenBacklogBelow(DownloadId id, int64_t bytes, std::function<void()> wake);
  int64_t DownloadBacklogForTesting(DownloadId id) const;
  // `complete`: the whole body arrived by the transfer's own framing. It is put in place and then
  // recorded in the index only when complete, its encoding ended where its format says, its
  // decoded size is within kMaxStoredBytes, and it is still the version its path waits for;
  // otherwise it is dropped. `done` runs on the writer thread afterwards, told whether the file is
  // in place.
  void FinishDownload(DownloadId id, bool complete, std::function<void(bool stored)> done = {});
  // The same, and when a whole body could not be put in place (something in the way of its path,
  // a directory that takes no file), `done` gets the path of a file that holds it, for the
  // requests waiting on it: they are answered without a second fetch. The caller removes it.
  void FinishDownloadKeeping(DownloadId id,
                             bool complete,
                             std::function<void(bool stored, const std::string& kept)> done);
  // A decoded body larger than this is not stored: a small compressed body may decode to far more.
  static constexpr int64_t kMaxStoredBytes = int64_t{1} << 30;
  // What one writer task decodes of a body at most, so that no body holds up the others.
  static constexpr size_t kDecodedBytesPerTask = size_t{4} << 20;
  // How long the cache root counts as refusing writes after a failure, before downloads are tried
  // again.
  static constexpr int64_t kDiskRetrySeconds = 60;

  // What was said once on stderr (the cache root or the index refusing writes), for whoever shows
  // the player the shell's words where nobody reads stderr (a start from the menu): in Chinese and
  // in English. Called on the thread that noticed; with what was said before, at once. Any thread.
  using TroubleReporter =
      std::function<void(const std::string& chinese, const std::string& english)>;
  void SetTroubleReporter(TroubleReporter reporter);

  // At start, on the writer thread: loads the index (the index's users wait for it meanwhile);
  // finds out whether the cache root takes files; removes the temporary files, at any depth, that
  // killed runs left and that no running shell is writing (a shell holds a lock on each file it
  // writes); drops index entries whose file is gone.
  void Start();
  // Saves the index on its saver thread. Saves asked for while one is still queued are merged:
  // the queued one writes the newest entries anyway.
  void ScheduleSave();
  // Writes what the index has not yet written, after every queued write, and returns when it is on
  // disk. No whole rewrite: a later start compacts the file if it has grown. The start's
  // housekeeping (the sweep, the check of files) stops where it is; the next start does it again.
  void SaveAndWait();
  // Returns once everything queued for the writer so far, the start's housekeeping included, has
  // run.
  void WaitForWriterForTesting() {
    writer_.Flush();
    index_saver_.Flush();
  }

 private:
  // Bytes of a download queued for the writer: the deciding thread adds, the writer takes off.
  class Backlog {
   public:
    void Add(int64_t size);
    void Written(int64_t size);
    bool WhenBelow(int64_t limit, std::function<void()> wake);
    int64_t bytes() const;

   private:
    mutable Mutex mutex_;
    int64_t bytes_ GUARDED_BY(mutex_) = 0;
    int64_t wake_below_ GUARDED_BY(mutex_) = 0;
    std::function<void()> wake_ GUARDED_BY(mutex_);
  };
  struct Download {
    std::string cache_path;
    std::string token;
    std::string temporary_path;
    std::shared_ptr<Backlog> backlog = std::make_shared<Backlog>();
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
  // The index refused the line that had to precede a file's replacement: nothing is replaced, and
  // downloads pause as for a refused root; the first time, one line on stderr says why.
  void NoteIndexUnwritable();
  // Downloads pause for a while; the first time for this `said`, one line on stderr says why.
  void PauseDownloads(std::atomic<bool>& said,
                      const std::string& chinese,
                      const std::string& english);
  // True when this shell put the file at `path` in place and it is still as it left it.
  bool WroteHere(const std::string& path, const FileStamp& stamp) const;
  void SweepDirectory(const std::string& directory);

  // Decodes and writes a piece of a body, at most kDecodedBytesPerTask of it; the rest in later
  // tasks.
  void WriteOnWriter(DownloadId id, std::string_view body);
  using Done = std::function<void(bool stored, const std::string& kept)>;
  // After the body's decoding has caught up.
  void CommitWhenDecoded(DownloadId id, Download download, bool keep, Done done);
  // Puts the body in place (keep) or drops it; true when the file is in place and recorded. A
  // whole body that cannot be put in place is left at `*kept`.
  bool CommitOnWriter(DownloadId id, const Download& download, bool keep, std::string* kept);
  // The first time a path cannot be put in place: one line names it, and the path's resources
  // come from the network for the rest of the run.
  void NoteUnplaceable(const std::string& path);
  bool Unplaceable(const std::string& path) const;

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
  std::atomic<bool> closing_{false};  // set by SaveAndWait, read on the writer thread
  // Seconds on the steady clock of the last refused write; 0: none. Any thread.
  std::atomic<int64_t> disk_refused_at_{0};
  std::atomic<bool> disk_refusal_reported_{false};
  std::atomic<bool> index_refusal_reported_{false};
  Mutex trouble_mutex_;
  TroubleReporter trouble_reporter_ GUARDED_BY(trouble_mutex_);
  std::vector<std::pair<std::string, std::string>> troubles_said_ GUARDED_BY(trouble_mutex_);
  // Files changed since then (nanoseconds on the file system's clock) may be newer than what the
  // index says: changed while this shell ran, by it or by another shell on the same cache root.
  std::atomic<int64_t> trusted_before_ns_;
  mutable Mutex written_mutex_;
  // The files this shell put in place, as it left them. Writer thread writes, deciding thread
  // reads.
  std::unordered_map<std::string, FileStamp> written_here_ GUARDED_BY(written_mutex_);
  std::unordered_set<std::string> unplaceable_ GUARDED_BY(written_mutex_);
  std::chrono::milliseconds load_wait_{kLoadWaitMs};  // deciding thread
  // The cache root as named at the start: a root removed later has no name to ask for.
  const std::string root_for_display_;
  // Files put in place whose lines are not yet written: the writer adds, whoever writes the index
  // takes them and flushes them to the disk first.
  Mutex placed_mutex_;
  std::vector<std::string> placed_unsynced_ GUARDED_BY(placed_mutex_);
  // Appends the index's lines, each time after flushing the files they name. Off the writer: a
  // slow disk's flushes hold up no download, and the slower they are, the more files one flush
  // takes. Stops, running what is queued, after the writer (which may queue saves) and before the
  // index goes.
  SerialExecutor index_saver_;
  // Makes the appended lines durable once a second at most: a power cut loses only the last
  // moments' lines, and the flushes cost the same however many lines arrive.
  PacedJob index_sync_{std::chrono::seconds(1), [this] { index_.SyncAppends(); }};
  // Last: its thread stops, running what is queued, before the index goes.
  SerialExecutor writer_;
};

}  // namespace gameshell
