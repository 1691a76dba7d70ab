#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "base/core/mutex.h"
#include "cache/core/cache_paths.h"
#include "cache/core/index_entries.h"
#include "cache/core/index_file.h"
#include "cache/core/index_format.h"
#include "cache/core/spellings.h"
#include "platform/file_system.h"

// The resource cache's memory of which version of each resource is stored: cache path -> version
// token, plus the reserved key "version" holding the cache generation, and the lines not yet in
// its file (IndexFile, "fileList.txt" in the cache root). During a run, new and changed entries are
// appended as lines (a later line wins) at once, or, with a save scheduler, as soon as the
// scheduler runs; the file is rewritten whole, in byte order of the keys, on Save, after Reset,
// when its last line was torn or it held junk, and once it has grown past twice the size of its
// live entries. A rewrite merges what the file holds, so entries that another shell appended to
// the same file survive, and keeps only entries that name a storable cache path whose file is
// there.
//
// Threads: the one object shared between threads, callable from any; every call that writes the
// file writes it on the caller's thread (the resource cache calls Load, the start's rewrites and
// CoverReplacements on its writer thread, and Flush on its index thread). One mutex guards the
// entries and the pending lines and is never held during file I/O, so Find and Update never wait
// for the disk; the file's write lock serialises its writes.
// Waits: none for the load. Find, OwnsFile, Entries, Update and CoverReplacements require loaded(),
// which the analysis checks like a lock, and which a caller asserts once the resource cache's load
// gate said the start's look has run (the deciding thread) or in a task after the load of its own
// thread (the writer); a debug build also checks it at run time. Reset, which a page may ask for
// at any time, asked during the load takes effect once the load has run.
namespace gameshell {

class CacheIndex {
 public:
  // That the announced load has run (or none was announced).
  class CAPABILITY("loaded index") Loaded {};

  explicit CacheIndex(FileSystem& fs = DefaultFileSystem(), std::string file_name = kIndexFileName);
  CacheIndex(const CacheIndex&) = delete;
  CacheIndex& operator=(const CacheIndex&) = delete;

  // With a scheduler, the writes that Update and Reset ask for are handed to it (it must call Flush
  // soon, typically on a writer thread) instead of being done on the caller's thread. Set before
  // use.
  void SetSaveScheduler(std::function<void()> schedule_save) {
    schedule_save_ = std::move(schedule_save);
  }

  // Runs on the writing thread before lines reach the file (only the write lock held): what they
  // name must be on the disk first. Set before use.
  void SetBeforeWrite(std::function<void()> before_write) {
    before_write_ = std::move(before_write);
  }

  // Tells, under the lock peers replace files under, whether another shell replaced the file at
  // `key` since this one put it in place: the line this shell queued for it is then left out.
  // Set before use.
  void SetReplacedByPeer(std::function<bool(const std::string& key)> replaced_by_peer) {
    replaced_by_peer_ = std::move(replaced_by_peer);
  }

  // The index is about to be loaded on another thread: a Reset meanwhile waits for the load, and
  // a debug build checks that nothing else comes first.
  void ExpectLoad();
  // What the caller knows: the load gate opened, or the load ran before, on this thread.
  void AssertLoaded() const ASSERT_CAPABILITY(load_ran_);
  const Loaded& loaded() const RETURN_CAPABILITY(load_ran_) { return load_ran_; }
  // Reads the index file once at start; a missing generation becomes "1". When it holds junk
  // (entries whose key is no storable cache path, or whose token has a control character), the
  // file is due for a rewrite, which leaves the junk out.
  void Load() ASSERT_CAPABILITY(load_ran_);
  // Looks at each entry's file once: hands `take` the stamp of each that is there, and drops the
  // entries whose file is gone (the file is then rewritten). For the writer thread, after Load.
  // Once `*stop` holds it stops where it is, dropping nothing (the next start does it all again).
  using TakeStamp = std::function<void(const std::string& key, const FileStamp& stamp)>;
  void StampEntries(const TakeStamp& take, const std::atomic<bool>* stop = nullptr);
  std::optional<std::string> Find(const std::string& key) const REQUIRES(load_ran_);
  // Records a token; its line reaches the file at once, or when the scheduler runs.
  void Update(const std::string& key, const std::string& value) REQUIRES(load_ran_);
  // Before files are replaced: records, with one append to the file made durable at once, that
  // each of `keys` holds no known version, whether or not it had an entry, so that no kill or
  // power cut between a replacement and its new entry leaves an older version named over the new
  // bytes, in this index or in a peer's that reads the file later. Then runs `then` (the
  // replacements) while still holding the lock other shells' writes take: a peer's line can come
  // only before the lines or after the replacements. `then` must not write the index itself
  // (Update hands its line to the scheduler). False, and `then` not run, when the lines could not
  // be written: no file may then be replaced.
  bool CoverReplacements(const std::vector<std::string>& keys, const std::function<void()>& then)
      REQUIRES(load_ran_);
  // Appends the pending lines, or rewrites the file when one of the rewrite rules holds. Without
  // `compact`, a file grown past twice its live size is left for a later flush (the last one
  // before exit has no time for a rewrite: appends already hold everything).
  void Flush(bool compact = true);
  // Rewrites the file whole, merged with what it holds.
  void Save();
  // Makes the lines appended so far durable (a rewrite is durable when it lands). An append alone
  // may sit in the system's memory for half a minute, and a power cut then takes every line of
  // the run with it. False when the flush failed; the next call tries again.
  bool SyncAppends();
  // Rewrites the file if Load found it torn, holding junk, or grown past twice its live size;
  // nothing else.
  void RewriteIfDue();
  // Forgets every token and starts generation `generation`; resource files stay on disk. A
  // generation that cannot stand on one line of the file (a line break in it) is refused and the
  // index stays as it is: written out, it would become lines of its own, entries included.
  void Reset(const std::string& generation);

  std::map<std::string, std::string> Entries() const REQUIRES(load_ran_);

  // Where file names ignore letter case, "A.png" and "a.png" share one file: it holds the bytes of
  // the spelling recorded last, and only that spelling may take it for its own. Always true
  // where case matters.
  bool OwnsFile(const std::string& key) const REQUIRES(load_ran_);

 private:
  void SetLocked(const std::string& key, const std::string& value) REQUIRES(mutex_);
  void ResetLocked(const std::string& generation) REQUIRES(mutex_);
  // Flushes now, or hands the flush to the scheduler.
  void FlushOrSchedule();
  void Write(bool whole, bool compact);
  // True once the file, with `added` more bytes, is past twice the size of its live entries.
  bool OutgrownLocked(uint64_t added) const REQUIRES(mutex_);
  // The callers' promise that no announced load is still to run; a debug build holds them to it.
  void AssertLoadedLocked() const REQUIRES(mutex_);

  Loaded load_ran_;
  FileSystem& fs_;
  // Its write lock is never taken while holding mutex_.
  IndexFile file_;
  std::function<void()> schedule_save_;
  std::function<void()> before_write_;
  std::function<bool(const std::string& key)> replaced_by_peer_;

  mutable Mutex mutex_;
  bool loading_ GUARDED_BY(mutex_) = false;
  IndexEntries entries_ GUARDED_BY(mutex_);
  // Lines of entries not yet in the file, oldest first.
  std::vector<std::string> pending_ GUARDED_BY(mutex_);
  bool reset_pending_ GUARDED_BY(mutex_) = false;
  // A Reset asked for while the index was loading.
  std::optional<std::string> reset_after_load_ GUARDED_BY(mutex_);
  bool rewrite_due_ GUARDED_BY(mutex_) = false;
  // Not a regular file, or unreadable: nothing is written to it.
  bool file_unusable_ GUARDED_BY(mutex_) = false;
  // Keys dropped as junk or for a missing file, which the next rewrite leaves out of what the file
  // held.
  std::set<std::string> dropped_ GUARDED_BY(mutex_);
  // Lines were appended since the last flush to the disk.
  bool appends_unsynced_ GUARDED_BY(mutex_) = false;
  // What the file holds, as far as this index knows.
  uint64_t file_bytes_ GUARDED_BY(mutex_) = 0;
  uint64_t live_bytes_ GUARDED_BY(mutex_) = 0;  // the entries as one sorted file
  // The last whole rewrite, other shells' entries included.
  uint64_t rewritten_bytes_ GUARDED_BY(mutex_) = 0;
  Spellings spellings_ GUARDED_BY(mutex_);
};

}  // namespace gameshell
