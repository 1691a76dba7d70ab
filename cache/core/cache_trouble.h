#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "base/core/mutex.h"
#include "platform/file_system.h"

// What the cache says when the disk refuses it: a cache root or an index that takes no writes
// pauses new downloads for a while, and a path that cannot be put in place leaves that path to the
// network for the run. Each is said once on stderr, and handed to whoever shows the player the
// shell's words. Shared: the writer thread notes, the deciding thread asks; any thread.
namespace gameshell {

// The title of the box that shows the player what the cache said: not the game window's, for
// only the game window is "Varnholt".
inline constexpr char kCacheTroubleTitle[] = "Varnholt - 游戏文件";

class CacheTrouble {
 public:
  explicit CacheTrouble(FileSystem& fs);

  // How long the cache root counts as refusing writes after a failure, before downloads are tried
  // again.
  static constexpr int64_t kDiskRetrySeconds = 60;

  // What was said once on stderr, in Chinese and in English, for a start from the menu where
  // nobody reads stderr. Called on the thread that noticed; with what was said before, at once.
  using Reporter = std::function<void(const std::string& chinese, const std::string& english)>;
  void SetReporter(Reporter reporter);

  // Downloads pause for a while: the cache root refused a write.
  void NoteDiskRefused();
  // The same for the index refusing the line that had to precede a file's replacement, said as
  // another program's lock where one holds it.
  void NoteIndexUnwritable();
  bool DiskRefusing() const;
  // The index refused a line within the last kDiskRetrySeconds: commits give up at once.
  bool IndexRefusing() const;
  // The first time a path cannot be put in place (something in the way of its directory, one that
  // takes no file): one line names it, and its resources come from the network for the run.
  void NoteUnplaceable(const std::string& path);
  bool Unplaceable(const std::string& path) const;
  // A body of `path` would leave the disk less than kFreeMarginBytes: the path is left to the
  // network for the run, as an unplaceable one is. Said once a run, whatever the path.
  void NoteNoRoomFor(const std::string& path, int64_t bytes);
  // True when `bytes` more may be written and leave the margin free (or the free space is unknown).
  bool RoomFor(int64_t bytes) const;
  static constexpr int64_t kFreeMarginBytes = int64_t{16} << 20;

 private:
  void PauseDownloads(std::atomic<int64_t>& refused_at,
                      std::atomic<bool>& said,
                      const std::string& chinese,
                      const std::string& english);

  FileSystem& fs_;
  // The cache root as named at the start: a root removed later has no name to ask for.
  const std::string root_for_display_;
  // Seconds on the steady clock of the last refused write; 0: none.
  std::atomic<int64_t> disk_refused_at_{0};
  std::atomic<int64_t> index_refused_at_{0};
  std::atomic<bool> disk_refusal_reported_{false};
  std::atomic<bool> index_refusal_reported_{false};
  std::atomic<bool> no_room_reported_{false};
  mutable Mutex mutex_;
  Reporter reporter_ GUARDED_BY(mutex_);
  std::vector<std::pair<std::string, std::string>> said_ GUARDED_BY(mutex_);
  std::unordered_set<std::string> unplaceable_ GUARDED_BY(mutex_);
};

}  // namespace gameshell
