#include "cache/core/body_writer.h"

#include <cassert>
#include <utility>

#include "cache/core/cache_files.h"
#include "cache/core/download_decision.h"

namespace gameshell {

BodyWriter::BodyWriter(FileSystem& fs,
                       CacheIndex& index,
                       CacheTrouble& trouble,
                       PlacedFiles& placed,
                       PacedJob& index_sync)
    : fs_(fs), index_(index), trouble_(trouble), placed_(placed), index_sync_(index_sync) {}

void BodyWriter::OnWriter() const {
  assert(writer_.RunsOnThisThread());
  writer_role_.AssertHeld();
}

void BodyWriter::SetMaxStoredBytesForTesting(int64_t bytes) {
  writer_.Post([this, bytes] {
    OnWriter();
    max_stored_bytes_ = bytes;
  });
}

void BodyWriter::Open(DownloadId id, std::string temporary_path, std::function<void()> abandoned) {
  writer_.Post([this, id, path = std::move(temporary_path), abandoned = std::move(abandoned)] {
    OnWriter();
    Receiving& receiving = receiving_[id];
    receiving.abandoned = abandoned;
    receiving.file = fs_.NewWritableFile(path);
    if (!receiving.file) {
      OnDiskRefused(receiving);
    }
  });
}

void BodyWriter::SetDecoder(DownloadId id, std::unique_ptr<ContentDecoder> decoder) {
  writer_.Post([this, id, decoder = std::shared_ptr<ContentDecoder>(std::move(decoder))] {
    OnWriter();
    receiving_[id].decoder = decoder;
  });
}

void BodyWriter::Write(DownloadId id, std::string piece, std::function<void()> written) {
  writer_.Post([this, id, piece = std::move(piece), written = std::move(written)] {
    OnWriter();
    WriteOnWriter(id, piece);
    written();
  });
}

void BodyWriter::OnDiskRefused(Receiving& receiving) {
  if (!receiving.ok) {
    return;
  }
  receiving.ok = false;
  trouble_.NoteDiskRefused();
  if (receiving.abandoned) {
    receiving.abandoned();
  }
}

void BodyWriter::WriteOnWriter(DownloadId id, std::string_view piece) {
  Receiving& receiving = receiving_[id];
  if (!receiving.ok || !receiving.file) {
    return;
  }
  const ContentDecoder::Sink write = [this, &receiving](std::string_view decoded) {
    writer_role_.AssertHeld();
    receiving.decoded_bytes += static_cast<int64_t>(decoded.size());
    // Past the cap: decoding stops here, and nothing is stored.
    if (receiving.decoded_bytes > max_stored_bytes_) {
      receiving.ok = false;
      return false;
    }
    if (!receiving.file->Append(decoded)) {
      OnDiskRefused(receiving);
      return false;
    }
    return true;
  };
  if (!receiving.decoder) {
    write(piece);
    return;
  }
  const ContentDecoder::Status status =
      receiving.decoder->Decode(piece, kDecodedBytesPerTask, write);
  receiving.ok = receiving.ok && status != ContentDecoder::Status::kFailed;
  receiving.decoding = receiving.ok && status == ContentDecoder::Status::kMoreOutput;
  if (receiving.decoding) {
    // The rest in a later task: other downloads' pieces, queued meanwhile, go first.
    writer_.Post([this, id] {
      OnWriter();
      WriteOnWriter(id, {});
    });
  }
}

void BodyWriter::Commit(DownloadId id, DownloadTarget target, bool keep, Done done) {
  writer_.Post([this, id, target = std::move(target), keep, done = std::move(done)]() mutable {
    OnWriter();
    auto it = receiving_.find(id);
    if (it != receiving_.end() && it->second.decoding) {
      // Its body is still being decoded, a task at a time: after those tasks.
      Commit(id, std::move(target), keep, std::move(done));
      return;
    }
    std::string kept;
    const bool stored = CommitOnWriter(id, target, keep, &kept);
    if (done) {
      done(stored, kept);
    } else if (!kept.empty()) {
      fs_.RemoveFile(kept);
    }
  });
}

bool BodyWriter::CommitOnWriter(DownloadId id,
                                const DownloadTarget& target,
                                bool keep,
                                std::string* kept) {
  auto it = receiving_.find(id);
  bool ok = it != receiving_.end() && it->second.ok && it->second.file &&
            (!it->second.decoder || it->second.decoder->AtEnd());
  // A kill between the rename and the new entry must not leave the old version named over the
  // new bytes; nor may a file whose index cannot say so be replaced at all. The line is written
  // while the body's file is still open and locked: it may wait for another shell's lock on the
  // index, and meanwhile a shell that starts sweeps every unlocked temporary file as a leftover.
  bool index_refused = false;
  // No download begins before the load, which ran in an earlier task of this thread.
  index_.AssertLoaded();
  if (ok && keep) {
    CreateParentDirectories(target.cache_path, fs_);
    index_refused = !index_.ForgetVersion(target.cache_path);
    index_sync_.Request();
  }
  if (ok && !it->second.file->Close()) {
    OnDiskRefused(it->second);
    ok = false;
  }
  if (it != receiving_.end()) {
    receiving_.erase(it);
  }
  if (ok && keep) {
    // The body still answers the requests waiting for it.
    if (index_refused) {
      trouble_.NoteIndexUnwritable();
      *kept = target.temporary_path;
      return false;
    }
    // Stamped with the moment it is put in place: another shell that read the index since must
    // not take it for the version its index names, however long ago its last byte was written.
    fs_.StampNow(target.temporary_path);
    if (fs_.Rename(target.temporary_path, target.cache_path)) {
      // Flushed before its line is written, with the others of that write: a power cut may lose
      // the line, never leave it naming bytes that did not reach the disk.
      placed_.Add(target.cache_path, fs_.Stamp(target.cache_path));
      // Recorded only now: a failed or dropped download leaves the previous entry, so the next
      // request asks the network again instead of taking an old file for the new version.
      index_.Update(target.cache_path, IndexTokenFor(target.token));
      return true;
    }
    if (!trouble_.DiskRefusing()) {
      trouble_.NoteUnplaceable(target.cache_path);
      *kept = target.temporary_path;
      return false;
    }
  }
  fs_.RemoveFile(target.temporary_path);
  return false;
}

void BodyWriter::Drop(DownloadId id, std::string temporary_path) {
  writer_.Post([this, id, path = std::move(temporary_path)] {
    OnWriter();
    receiving_.erase(id);
    fs_.RemoveFile(path);
  });
}

}  // namespace gameshell
