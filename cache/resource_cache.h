#pragma once

#include <atomic>
#include <string>
#include <string_view>

#include "cache/cache_index.h"
#include "cache/download_decision.h"
#include "cache/file_system.h"
#include "cache/serial_executor.h"

// The resource cache as the browser uses it: the index, the decision for each request, and one
// writer thread that stores downloaded resources and saves the index, in order.
// Thread: Decide, Store, ScheduleSave and the index's operations from any thread (the index
// locks); SaveAndWait from the UI thread at the end. Files are written on the writer thread only.
namespace gameshell {

class ResourceCache {
 public:
  explicit ResourceCache(CacheHosts hosts, FileSystem& fs = DefaultFileSystem());
  // Lets queued writes finish.
  ~ResourceCache();

  CacheIndex& index() { return index_; }

  RequestDecision Decide(std::string_view url);
  // Size of the stored file at a cache path, if one is there (a stat, never a read).
  std::optional<uint64_t> StoredFileSize(const std::string& cache_path);
  // Stores a completed download; the file appears whole or not at all.
  void Store(std::string cache_path, std::string content);
  // Saves the index on the writer thread. Saves asked for while one is still queued are merged:
  // the queued one writes the newest entries anyway.
  void ScheduleSave();
  // Saves the index after every queued write and returns when it is on disk.
  void SaveAndWait();

 private:
  FileSystem& fs_;
  const CacheHosts hosts_;
  CacheIndex index_;
  std::atomic<bool> save_queued_{false};
  // Last: its thread stops, running what is queued, before the index goes.
  SerialExecutor writer_;
};

// The MIME type to serve a cached file with, from its extension (the network's own header is not
// kept).
const char* ContentTypeForCachePath(std::string_view cache_path);

}  // namespace gameshell
