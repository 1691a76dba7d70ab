#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/core/serial_executor.h"
#include "base/core/thread_role.h"
#include "cache/core/cache_index.h"
#include "cache/core/cache_trouble.h"
#include "cache/core/content_decoder.h"
#include "cache/core/download_table.h"
#include "cache/core/placed_files.h"
#include "platform/file_system.h"

// The writer thread's side of the downloads: streams each body, decoded, to its temporary file, a
// bounded piece per task, then puts a whole one in place and records it in the index, in the order
// the downloads finished, or drops it.
// Thread: the public calls post to the writer thread and return at once (the resource cache makes
// them on the deciding thread); everything else runs on the writer thread, under writer_role_.
namespace gameshell {

class BodyWriter {
 public:
  BodyWriter(FileSystem& fs, CacheIndex& index, CacheTrouble& trouble, PlacedFiles& placed);
  // Runs what is queued.
  ~BodyWriter() = default;

  // A decoded body larger than this is not stored: a small compressed body may decode to far more.
  static constexpr int64_t kMaxStoredBytes = int64_t{1} << 30;
  // What one writer task decodes of a body at most, so that no body holds up the others.
  static constexpr size_t kDecodedBytesPerTask = size_t{4} << 20;

  // A download's temporary file, for `cache_path`, opened with the body's first byte. `abandoned`
  // runs on the writer thread if the disk refuses the body, or its bytes would leave too little
  // free space.
  void Open(DownloadId id,
            std::string temporary_path,
            std::string cache_path,
            std::function<void()> abandoned);
  // How many decoded bytes are written between two looks at the free space.
  static constexpr int64_t kFreeSpaceCheckBytes = int64_t{4} << 20;
  // The body is decoded by `decoder` before it is written. Before the first piece.
  void SetDecoder(DownloadId id, std::unique_ptr<ContentDecoder> decoder);
  // Decodes and writes a piece of the body, as sent; `written` runs once it is.
  void Write(DownloadId id, std::string piece, std::function<void()> written);
  // Once the body's decoding has caught up: puts it in place and records it when it is whole
  // (complete, its encoding ended where its format says, within kMaxStoredBytes) and the newest
  // version its path waits for, or drops it. `done` is told whether the file is in place, and
  // gets the path of a file that still holds a whole body that is not (superseded, or nowhere to
  // put it): the caller answers the requests waiting for it from there, then removes it.
  struct Outcome {
    bool complete = false;  // the whole body arrived by the transfer's own framing
    bool newest = false;    // still the version its path waits for
  };
  using Done = std::function<void(bool stored, const std::string& kept)>;
  void Commit(DownloadId id, DownloadTarget target, Outcome outcome, Done done);
  // Drops the body unwritten.
  void Drop(DownloadId id, std::string temporary_path);
  // Other work of the writer thread (the start's housekeeping), in turn with the bodies.
  void Post(std::function<void()> task) { writer_.Post(std::move(task)); }
  // Returns once everything queued so far has run.
  void WaitForWrites() { writer_.WaitForPostedJobs(); }
  void SetMaxStoredBytesForTesting(int64_t bytes);

 private:
  struct Receiving {
    std::unique_ptr<WritableFile> file;
    std::shared_ptr<ContentDecoder> decoder;
    int64_t decoded_bytes = 0;
    bool ok = true;
    bool decoding = false;  // input is left that a later task decodes
    std::function<void()> abandoned;
    std::string cache_path;
    std::string temporary_path;
    int64_t unchecked_bytes = 0;  // written since the last look at the free space
  };

  // Where every task of the writer thread starts.
  void OnWriter() const ASSERT_CAPABILITY(writer_role_);
  // The disk refused a write of the body: it is abandoned, and downloads pause for a while.
  void OnDiskRefused(Receiving& receiving) REQUIRES(writer_role_);
  // At most kDecodedBytesPerTask of the piece; the rest in later tasks.
  void WriteOnWriter(DownloadId id, std::string_view piece) REQUIRES(writer_role_);
  // Opens the body's file unless it is open, or the body was given up.
  void OpenIfNeeded(Receiving& receiving) REQUIRES(writer_role_);
  // Puts the bodies committed so far in place, after one append and one flush of the lines that
  // cover their replacements.
  void CommitReady() REQUIRES(writer_role_);
  // True when the whole body is in place and recorded. One that cannot be put in place is left at
  // `*kept`.
  bool Place(const DownloadTarget& target, bool index_refused, std::string* kept)
      REQUIRES(writer_role_);

  struct Ready {
    DownloadId id;
    DownloadTarget target;
    Outcome outcome;
    Done done;
  };

  FileSystem& fs_;
  CacheIndex& index_;
  CacheTrouble& trouble_;
  PlacedFiles& placed_;
  ThreadRole writer_role_;
  std::unordered_map<DownloadId, Receiving> receiving_ GUARDED_BY(writer_role_);
  int64_t max_stored_bytes_ GUARDED_BY(writer_role_) = kMaxStoredBytes;
  // Commits whose bodies are decoded, for the next CommitReady.
  std::vector<Ready> ready_ GUARDED_BY(writer_role_);
  bool batch_posted_ GUARDED_BY(writer_role_) = false;
  // Last: its thread stops, running what is queued, before the rest goes.
  SerialExecutor writer_;
};

}  // namespace gameshell
