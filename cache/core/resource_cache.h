#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

#include "base/core/paced_job.h"
#include "base/core/serial_executor.h"
#include "base/core/thread_role.h"
#include "cache/core/body_writer.h"
#include "cache/core/cache_index.h"
#include "cache/core/cache_trouble.h"
#include "cache/core/download_decision.h"
#include "cache/core/download_table.h"
#include "cache/core/load_gate.h"
#include "cache/core/placed_files.h"
#include "cache/core/start_stamps.h"
#include "platform/file_system.h"

// The resource cache as the browser uses it: the index, the decision for each request, and the
// downloads, whose bodies one writer thread streams to temporary files, puts in place and records,
// in order (BodyWriter); one thread appends the index's lines once their files are on the disk,
// and one flushes those lines to the disk, once a second at most. This class only wires them.
// Thread: the deciding thread (the UI thread in this engine) for Decide and the download calls,
// under deciding_role_; the index's operations from any thread (the index locks); SaveAndWait
// from the UI thread at the end.
namespace gameshell {

class ResourceCache {
 public:
  explicit ResourceCache(GameHosts hosts, FileSystem& fs = DefaultFileSystem());
  // Lets queued writes finish; bodies still arriving are dropped whole.
  ~ResourceCache();

  CacheIndex& index() { return index_; }

  // While the cache root refuses writes, new resources pass through instead of being downloaded;
  // so do all while the index is still loading, after kLoadWaitMs.
  RequestDecision Decide(std::string_view url);
  static constexpr int kLoadWaitMs = 250;
  void SetLoadWaitForTesting(std::chrono::milliseconds wait) {
    deciding_role_.AssertHeld();
    load_wait_ = wait;
  }
  const GameHosts& hosts() const { return hosts_; }
  using DownloadId = gameshell::DownloadId;
  // A body for `key` is about to arrive; from now on its path waits for its token,
  // and a download of an older one that ends later is discarded. `abandoned` runs on the writer
  // thread if the body cannot be written (the disk refused): the download is lost, and the caller
  // should stop it and answer its waiting requests otherwise.
  DownloadId BeginDownload(const ResourceKey& key, std::function<void()> abandoned = {});
  // The body comes with this Content-Encoding, to be stored decoded; false when it cannot be
  // decoded, and then nothing of it is stored. Before the first piece of the body.
  bool SetBodyEncoding(DownloadId id, std::string_view content_encoding);
  // The body announced its length: false when storing it would leave the disk too little free
  // space. The caller then stops the download and lets the page fetch it; the path comes from the
  // network for the rest of the run, and the player is told once.
  bool RoomFor(DownloadId id, int64_t announced_bytes);
  // Queues a piece of the body, as sent (still encoded), for the writer.
  void AppendToDownload(DownloadId id, std::string data);
  // True when fewer than `bytes` of the download are queued and not yet written. Otherwise false,
  // and `wake` runs once on the writer thread when they are: the reader pauses meanwhile.
  bool WhenBacklogBelow(DownloadId id, int64_t bytes, std::function<void()> wake);
  int64_t DownloadBacklogForTesting(DownloadId id);
  // `complete`: the whole body arrived by the transfer's own framing. It is put in place and then
  // recorded in the index only when complete, its encoding ended where its format says, its
  // decoded size is within BodyWriter::kMaxStoredBytes, and it is still the version its path waits
  // for; otherwise it is dropped. `done` runs on the writer thread afterwards, told whether the
  // file is in place.
  void FinishDownload(DownloadId id, bool complete, std::function<void(bool stored)> done = {});
  // The same, and when a whole body is not put in place (a newer version was asked for meanwhile,
  // something in the way of its path, a directory that takes no file), `done` gets the path of a
  // file that holds it, for the requests waiting on it: they are answered without a second fetch.
  // The caller removes it.
  void FinishDownloadKeeping(DownloadId id,
                             bool complete,
                             std::function<void(bool stored, const std::string& kept)> done);
  void SetMaxStoredBytesForTesting(int64_t bytes) { writer_.SetMaxStoredBytesForTesting(bytes); }

  // What was said once on stderr (the cache root or the index refusing writes), for whoever shows
  // the player the shell's words where nobody reads stderr (a start from the menu): in Chinese and
  // in English. Called on the thread that noticed; with what was said before, at once. Any thread.
  using TroubleReporter = CacheTrouble::Reporter;
  void SetTroubleReporter(TroubleReporter reporter) { trouble_.SetReporter(std::move(reporter)); }

  // True once the start's look at the index and its files has run (or no start was made), waiting
  // at most `timeout`: no request is decided against the index before.
  bool WaitUntilLoaded(std::chrono::milliseconds timeout) const {
    return load_gate_.WaitUntilOpen(timeout);
  }
  // At start, queues the start's housekeeping (RunStartHousekeeping) on the writer thread.
  void Start();
  // Saves the index on its saver thread. Saves asked for while one is still queued are merged:
  // the queued one writes the newest entries anyway.
  void ScheduleSave();
  // Writes what the index has not yet written, after every queued write, and returns when it is on
  // disk. No whole rewrite: a later start compacts the file if it has grown. The start's
  // housekeeping stops where it is; the next start does it again.
  void SaveAndWait();
  // Returns once everything queued for the writer so far, the start's housekeeping included, has
  // run.
  void WaitForWriterForTesting() {
    writer_.WaitForWrites();
    index_saver_.WaitForPostedJobs();
  }

 private:
  FileSystem& fs_;
  const GameHosts hosts_;
  CacheIndex index_;
  CacheTrouble trouble_;
  PlacedFiles placed_;
  ThreadRole deciding_role_;
  DownloadTable downloads_ GUARDED_BY(deciding_role_);
  std::chrono::milliseconds load_wait_ GUARDED_BY(deciding_role_){kLoadWaitMs};
  // The files as the start found them, and whether that look has run.
  StartStamps start_stamps_;
  LoadGate load_gate_;
  std::atomic<bool> save_queued_{false};
  std::atomic<bool> closing_{false};  // set by SaveAndWait, read on the writer thread
  // Appends the index's lines, each time after flushing the files they name. Off the writer: a
  // slow disk's flushes hold up no download, and the slower they are, the more files one flush
  // takes. Stops, running what is queued, after the writer (which may queue saves) and before the
  // index goes.
  SerialExecutor index_saver_;
  // Makes the appended lines durable once a second at most: a power cut loses only the last
  // moments' lines, and the flushes cost the same however many lines arrive.
  PacedJob index_sync_{std::chrono::seconds(1), [this] { index_.SyncAppends(); }};
  // Last: its thread stops, running what is queued, before the rest goes.
  BodyWriter writer_;
};

}  // namespace gameshell
