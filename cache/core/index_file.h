#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "base/core/mutex.h"
#include "platform/file_system.h"

// The cache index's file ("fileList.txt" in the cache root): read a piece at a time through the
// format's one parser, appended to, rewritten whole merged with what it holds (lines another shell
// appended included), and flushed to the disk. It holds no entries: its caller says what to write,
// and holds write_mutex() around each write, so that lines reach the file in the order they were
// taken. Thread: any.
namespace gameshell {

class IndexFile {
 public:
  IndexFile(FileSystem& fs, std::string name);

  struct ReadSummary {
    FileSystem::ReadOutcome outcome = FileSystem::ReadOutcome::kMissing;
    uint64_t bytes = 0;
    bool torn = false;  // the text ends inside a line, or an overlong one
  };
  // Hands each whole line (its line end taken off) to `take_line`; none of a torn last line. A file
  // that is no regular file, or unreadable, is said on stderr.
  ReadSummary Read(const std::function<void(std::string_view line)>& take_line);

  Mutex& write_mutex() RETURN_CAPABILITY(write_mutex_) { return write_mutex_; }
  bool Append(std::string_view lines) REQUIRES(write_mutex_);
  // Appends what `make` returns, durable when `sync`, and runs `then`, all under the lock other
  // shells' writes take (FileSystem::AppendLocked).
  bool AppendLocked(const std::function<std::string()>& make,
                    bool sync,
                    const std::function<void()>& then) REQUIRES(write_mutex_) {
    return fs_.AppendLocked(name_, make, sync, then);
  }
  // Replaces the file, under its lock, with the entries `finish` settles on. Unless
  // `drop_current`, they start as the file's lines merged (IndexLineMerge), then `appended`;
  // `finish` is told whether they came from the file (false: it held nothing, or was dropped),
  // and may change them. `*written` gets the new file's size.
  using Finish = std::function<void(std::map<std::string, std::string>& entries, bool from_file)>;
  bool Rewrite(bool drop_current,
               std::string_view appended,
               const Finish& finish,
               uint64_t* written) REQUIRES(write_mutex_);
  // Makes what was appended durable; false when the flush failed.
  bool Sync();

 private:
  FileSystem& fs_;
  const std::string name_;
  // Serialises the writes of the file.
  Mutex write_mutex_;
};

}  // namespace gameshell
