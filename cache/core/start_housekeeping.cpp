#include "cache/core/start_housekeeping.h"

#include <memory>
#include <string>
#include <vector>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "cache/core/cache_paths.h"

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

}  // namespace

void RunStartHousekeeping(CacheIndex& index,
                          FileSystem& fs,
                          CacheTrouble& trouble,
                          const std::atomic<bool>& closing) {
  // A large index is read here, not on the caller's thread; requests wait only if they come first.
  // A torn or junk-filled or overgrown file is rewritten now, not when the player closes.
  index.Load();
  index.RewriteIfDue();
  // A root that takes no file would cost every new resource two fetches: know it before the first
  // download starts.
  const std::string probe = NewTemporaryPath();
  std::unique_ptr<WritableFile> file = fs.NewWritableFile(probe);
  if (!file || !file->Close()) {
    trouble.NoteDiskRefused();
  }
  fs.RemoveFile(probe);
  SweepDirectory("", fs, closing);
  index.DropEntriesWithoutFiles(&closing);
#ifdef __GLIBC__
  // Reading a large index leaves freed buffers behind in this thread's heap.
  malloc_trim(0);
#endif
}

}  // namespace gameshell
