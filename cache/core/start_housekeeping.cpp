#include "cache/core/start_housekeeping.h"

#include <memory>
#include <set>
#include <string>
#include <vector>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "cache/core/cache_paths.h"
#include "cache/core/index_format.h"

namespace gameshell {

namespace {

void SweepDirectory(const std::string& directory,
                    FileSystem& fs,
                    const std::atomic<bool>& closing) {
  if (closing) {
    return;  // the next start sweeps
  }
  std::vector<std::string> names;
  fs.ListDirectory(directory, &names);
  for (const std::string& name : names) {
    const std::string path = directory.empty() ? name : directory + "/" + name;
    if (name.starts_with(kTemporaryFilePrefix)) {
      fs.RemoveUnlockedFile(path);
    } else if (path.size() <= kMaxCachePathBytes && fs.IsDirectory(path)) {
      SweepDirectory(path, fs, closing);  // resources nest; links are not followed
    }
  }
}

// A peer replaces a file only after a line on the disk says so: one whose last line for a path
// differs from what the load read may have replaced the file before its stamp was taken.
void ForgetWhatPeersChanged(CacheIndex& index, FileSystem& fs, StartStamps& stamps) {
  index.AssertLoaded();  // Load ran earlier on this thread
  std::set<std::string> changed;
  IndexLineSplitter splitter;
  fs.ReadFileInPieces(kIndexFileName, size_t{1} << 20, [&](std::string_view piece) {
    splitter.Feed(piece, [&](std::string_view line) {
      index.AssertLoaded();
      std::string_view key, value;
      if (!ParseIndexLine(line, &key, &value)) {
        return;
      }
      std::string key_text(key);
      if (index.Find(key_text) == value) {
        changed.erase(key_text);  // a later line wins
      } else if (IsIndexEntry(key_text, std::string(value))) {
        changed.insert(std::move(key_text));
      }
    });
    return true;
  });
  for (const std::string& key : changed) {
    stamps.Forget(key);
  }
}

}  // namespace

void RunStartHousekeeping(const StartHousekeeping& start) {
  // A large index is read here, not on the caller's thread; requests wait only if they come first.
  // Another shell's line grows the file, and its rewrite replaces it: unchanged in size and
  // identity, it holds no line the load did not read, and is not read again.
  const std::optional<FileStamp> read = start.fs.Stamp(kIndexFileName);
  start.index.Load();
  start.index.StampEntries(
      [&](const std::string& key, const FileStamp& stamp) { start.stamps.Add(key, stamp); },
      &start.closing);
  start.stamps.Seal();
  const std::optional<FileStamp> now = start.fs.Stamp(kIndexFileName);
  if (!read || !now || read->size != now->size || read->file_id != now->file_id) {
    ForgetWhatPeersChanged(start.index, start.fs, start.stamps);
  }
  start.gate.Open();
  // A torn or junk-filled or overgrown file is rewritten now, not when the player closes.
  start.index.RewriteIfDue();
  // A root that takes no file would cost every new resource two fetches: know it before the first
  // download starts.
  const std::string probe = NewTemporaryPath();
  std::unique_ptr<WritableFile> file = start.fs.NewWritableFile(probe);
  if (!file || !file->Close()) {
    start.trouble.NoteDiskRefused();
  }
  start.fs.RemoveFile(probe);
  SweepDirectory("", start.fs, start.closing);
#ifdef __GLIBC__
  // Reading a large index leaves freed buffers behind in this thread's heap.
  malloc_trim(0);
#endif
}

}  // namespace gameshell
