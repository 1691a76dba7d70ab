#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The few file operations the resource cache needs, behind one narrow interface so the cache can
// be tested against faults without a real disk failing. Paths are byte strings relative to the
// cache root (the working directory), passed to the system unchanged.
// Implementations are stateless and may be called from any thread at once.
namespace gameshell {

// A file being written piece by piece. Closing (or destroying) it is the end of the writes.
class WritableFile {
 public:
  virtual ~WritableFile() = default;
  // False on any shortfall; the file is then not to be trusted.
  virtual bool Append(std::string_view data) = 0;
  // False when the writes did not all reach the file.
  virtual bool Close() = 0;
};

// What tells one version of a file from another without reading it. Compared only for equality:
// whoever changes or replaces a file changes its change time and, for a replacement, its file id,
// whatever the clocks say.
struct FileStamp {
  uint64_t size = 0;
  int64_t modified_ns = 0;  // since the Unix epoch; 0 where unknown
  int64_t changed_ns = 0;   // of the file's status (a rename, a write); 0 where unknown
  uint64_t file_id = 0;     // the inode, or Windows' file index; 0 where unknown
  bool operator==(const FileStamp&) const = default;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // No operation follows a symbolic link (on Windows, a reparse point) anywhere in a path below
  // the cache root: a path through one is refused (missing, or the operation fails).

  // Size of a regular file; nullopt when missing, a directory, a link, or unreadable.
  virtual std::optional<uint64_t> FileSize(const std::string& path) = 0;
  // Size, times and identity of a regular file, in one look; nullopt as for FileSize.
  virtual std::optional<FileStamp> Stamp(const std::string& path) {
    std::optional<uint64_t> size = FileSize(path);
    return size ? std::optional<FileStamp>(FileStamp{*size, 0}) : std::nullopt;
  }
  // True when the directory exists afterwards.
  virtual bool CreateDirectory(const std::string& path) = 0;
  enum class ReadOutcome { kRead, kMissing, kUnusable };
  // Reads a regular file a piece of at most `piece` bytes at a time, so that its size costs no
  // memory; a sink's false stops the reading (kRead all the same). Never waits on what is not a
  // regular file (a FIFO, a device) and reads nothing of it: kUnusable, as for a directory or a
  // file that cannot be read.
  virtual ReadOutcome ReadFileInPieces(const std::string& path,
                                       size_t piece,
                                       const std::function<bool(std::string_view)>& sink) = 0;
  // A regular file opened for reading, as a descriptor of the C library the caller closes; -1
  // when it cannot be (missing, no regular file, a link on the way).
  virtual int OpenForReading(const std::string& path) = 0;
  // The whole regular file; false (and nothing) when it cannot be read to its end.
  bool ReadFile(const std::string& path, std::string* content);
  // Creates or truncates `path` and writes `content` whole; false on any shortfall.
  virtual bool WriteFile(const std::string& path, std::string_view content) {
    std::unique_ptr<WritableFile> file = NewWritableFile(path);
    return file && file->Append(content) && file->Close();
  }
  // Adds `content` at the end of `path`, creating it; false on any shortfall.
  virtual bool AppendFile(const std::string& path, std::string_view content) = 0;
  // Under the lock that appends to and rewrites of `path` take, so that no other process appends
  // in between: appends what `make` returns (nothing when it is empty), makes the file durable
  // when `sync`, and runs `then` before letting go. False, and `then` not run, when the lock could
  // not be had or the append or the flush failed. (Here, without a lock: one step after another.)
  virtual bool AppendLocked(const std::string& path,
                            const std::function<std::string()>& make,
                            bool sync,
                            const std::function<void()>& then);
  // Replaces `path` in one step with make(), after handing `take` what it holds now (nothing when
  // missing) a piece at a time, so that no other process appends to or replaces it in between
  // (where the system allows: here, the default reads and then writes atomically). The pieces are
  // never gathered whole: a file of junk costs no memory. False, and nothing written, when it
  // cannot be read to its end.
  virtual bool ReplaceFileMerged(const std::string& path,
                                 const std::function<void(std::string_view)>& take,
                                 const std::function<std::string()>& make);
  // Creates or truncates `path` for writing, locked against RemoveUnlockedFile until closed; null
  // when it cannot be opened.
  virtual std::unique_ptr<WritableFile> NewWritableFile(const std::string& path) = 0;
  // Removes `path` unless a writer, of this process or another, holds it open for writing; a
  // writer that died holds nothing. True when removed.
  virtual bool RemoveUnlockedFile(const std::string& path) = 0;
  // True for a directory itself, not a link to one.
  virtual bool IsDirectory(const std::string& path) = 0;
  // Replaces `to` with `from` in one step, as seen by any reader.
  virtual bool Rename(const std::string& from, const std::string& to) = 0;
  virtual bool RemoveFile(const std::string& path) = 0;
  // Makes what was written to these files durable, on the disk and not only in the system's
  // memory, so that a power cut cannot leave them named with bytes that never reached the disk.
  // False when any could not be flushed; a file system that cannot flush at all counts as flushed.
  virtual bool SyncFiles(const std::vector<std::string>& paths) = 0;
  // Names of the entries of a directory ("" is the cache root); false when it cannot be read.
  virtual bool ListDirectory(const std::string& path, std::vector<std::string>* names) = 0;
  // True when another process holds the lock that appends to and rewrites of `path` take (a shell
  // stopped while holding it, say): what tells a busy index from one that refuses writes.
  virtual bool LockHeldElsewhere(const std::string& /*path*/) { return false; }
  // Bytes the cache root's file system has free for this user; nullopt where unknown.
  virtual std::optional<uint64_t> FreeBytes() { return std::nullopt; }
  // True when names that differ only in letter case name one file (Windows).
  virtual bool NamesIgnoreCase() const { return false; }
};

// How long an append to or rewrite of the index waits for another shell's lock on it before it
// fails (and the index keeps its lines for a later write).
inline constexpr int kIndexLockWaitMs = 500;

// Every temporary file of an atomic write is named so; the name has no resource extension, so a
// leftover is never taken for a resource.
inline constexpr char kTemporaryFilePrefix[] = ".gameshell-tmp-";

// The real disk.
FileSystem& DefaultFileSystem();

// A name for a temporary file in the cache root, unique among this process's threads and, through a
// random part, among processes sharing the cache root.
std::string NewTemporaryPath();

// Writes through a temporary file in the cache root and renames it over `path`, so a reader
// sees the old whole file or the new whole file, never a part. Leaves no temporary behind on
// failure (short of the process dying between the two steps).
bool WriteFileAtomically(FileSystem& fs, const std::string& path, std::string_view content);

}  // namespace gameshell
