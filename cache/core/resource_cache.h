#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

#include "cache/core/cache_index.h"
#include "cache/core/download_decision.h"
#include "cache/core/file_system.h"
#include "cache/core/serial_executor.h"

// The resource cache as the browser uses it: the index, the decision for each request, and one
// writer thread that streams downloaded bodies to temporary files, puts complete ones in place
// and records them, and saves the index, in order.
// Thread: the deciding thread (the UI thread in this engine) for Decide and the download calls;
// the index's operations from any thread (the index locks); SaveAndWait from the UI thread at the
// end. Files are written on the writer thread only.
namespace gameshell {

class ResourceCache {
 public:
  explicit ResourceCache(CacheHosts hosts, FileSystem& fs = DefaultFileSystem());
  // Lets queued writes finish.
  ~ResourceCache();

  CacheIndex& index() { return index_; }

  RequestDecision Decide(std::string_view url);
  const CacheHosts& hosts() const { return hosts_; }
  using DownloadId = uint64_t;
  // A body for (cache_path, token) is about to arrive; from now on the path waits for this token,
  // and a download of an older one that ends later is discarded.
  DownloadId BeginDownload(const std::string& cache_path, const std::string& token);
  // Queues a piece of the body for the writer.
  void AppendToDownload(DownloadId id, std::string data);
  // Bytes of the download queued and not yet written.
  int64_t DownloadBacklog(DownloadId id) const;
  // `complete`: the whole body arrived. It is put in place and then recorded in the index only
  // when complete and still the version its path waits for; otherwise it is dropped. `done` runs
  // on the writer thread afterwards, told whether the file is in place.
  void FinishDownload(DownloadId id, bool complete, std::function<void(bool stored)> done = {});
  // Removes, on the writer thread, temporary files that killed runs left in the cache root. A
  // file written to within kLeftoverAgeSeconds may belong to another shell still running there.
  static constexpr int64_t kLeftoverAgeSeconds = 600;
  void SweepLeftovers();
  // Saves the index on the writer thread. Saves asked for while one is still queued are merged:
  // the queued one writes the newest entries anyway.
  void ScheduleSave();
  // Saves the index after every queued write and returns when it is on disk.
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
    bool ok = true;
  };

  // Puts the body in place (keep) or drops it; true when the file is in place and recorded.
  bool CommitOnWriter(DownloadId id, const Download& download, bool keep);

  FileSystem& fs_;
  const CacheHosts hosts_;
  CacheIndex index_;
  // Deciding thread only.
  DownloadId next_download_id_ = 0;
  std::unordered_map<DownloadId, Download> downloads_;
  std::unordered_map<std::string, std::string> awaited_token_;  // cache path -> newest token
  // Writer thread only.
  std::unordered_map<DownloadId, Receiving> receiving_;
  std::atomic<bool> save_queued_{false};
  // Last: its thread stops, running what is queued, before the index goes.
  SerialExecutor writer_;
};

// The MIME type to serve a cached file with, from its extension (the network's own header is not
// kept).
const char* ContentTypeForCachePath(std::string_view cache_path);

}  // namespace gameshell
