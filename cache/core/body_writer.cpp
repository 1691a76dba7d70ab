#include "cache/core/body_writer.h"

#include <cassert>
#include <utility>

#include "cache/core/cache_files.h"
#include "cache/core/download_decision.h"

namespace gameshell {

BodyWriter::BodyWriter(FileSystem& fs,
                       CacheIndex& index,
                       CacheTrouble& trouble,
                       PlacedFiles& placed)
    : fs_(fs), index_(index), trouble_(trouble), placed_(placed) {}

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

void BodyWriter::Open(DownloadId id,
                      std::string temporary_path,
                      std::string cache_path,
                      std::function<void()> abandoned) {
  writer_.Post([this, id, path = std::move(temporary_path), cache_path = std::move(cache_path),
                abandoned = std::move(abandoned)] {
    OnWriter();
    Receiving& receiving = receiving_[id];
    receiving.abandoned = abandoned;
    receiving.cache_path = cache_path;
    receiving.temporary_path = path;
  });
}

void BodyWriter::OpenIfNeeded(Receiving& receiving) {
  if (receiving.file || !receiving.ok) {
    return;
  }
  receiving.file = fs_.NewWritableFile(receiving.temporary_path);
  if (!receiving.file) {
    OnDiskRefused(receiving);
  }
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
  // Opened with its first byte: downloads that wait for the network hold no file open.
  OpenIfNeeded(receiving);
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
    // A body whose length nobody announced, or a lie: it stops before the disk is full, instead
    // of every other write on that disk failing too.
    receiving.unchecked_bytes += static_cast<int64_t>(decoded.size());
    if (receiving.unchecked_bytes >= kFreeSpaceCheckBytes) {
      receiving.unchecked_bytes = 0;
      if (!trouble_.RoomFor(0)) {
        receiving.ok = false;
        trouble_.NoteNoRoomFor(receiving.cache_path, receiving.decoded_bytes);
        if (receiving.abandoned) {
          receiving.abandoned();
        }
        return false;
      }
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

void BodyWriter::Commit(DownloadId id, DownloadTarget target, Outcome outcome, Done done) {
  writer_.Post([this, id, target = std::move(target), outcome, done = std::move(done)]() mutable {
    OnWriter();
    auto it = receiving_.find(id);
    if (it != receiving_.end() && it->second.decoding) {
      // Its body is still being decoded, a task at a time: after those tasks.
      Commit(id, std::move(target), outcome, std::move(done));
      return;
    }
    ready_.push_back({id, std::move(target), outcome, std::move(done)});
    if (!batch_posted_) {
      // Commits queued behind this one join it: their lines share one append and one flush.
      batch_posted_ = true;
      writer_.Post([this] {
        OnWriter();
        CommitReady();
      });
    }
  });
}

void BodyWriter::CommitReady() {
  batch_posted_ = false;
  std::vector<Ready> batch;
  batch.swap(ready_);
  // Which bodies are whole, and which of those go in place; their files stay open, and so locked,
  // until the lines are written.
  std::vector<bool> whole(batch.size());
  std::vector<std::string> covered;
  for (size_t i = 0; i < batch.size(); ++i) {
    auto it = receiving_.find(batch[i].id);
    if (batch[i].outcome.complete && it != receiving_.end() && it->second.ok) {
      OpenIfNeeded(it->second);  // an empty body wrote nothing yet
    }
    whole[i] = batch[i].outcome.complete && it != receiving_.end() && it->second.ok &&
               it->second.file && (!it->second.decoder || it->second.decoder->AtEnd());
    if (whole[i] && batch[i].outcome.newest) {
      covered.push_back(batch[i].target.cache_path);
    }
  }
  // A kill or a power cut between a rename and its new entry must not leave an older version named
  // over the new bytes, in this shell's index or in a peer's that reads the file later: the
  // replacements wait until the lines that say their paths hold no known version are on the disk,
  // and happen under the index's lock, so that no peer's line for the path falls between. Nor may
  // a file whose index cannot say so be replaced at all. The lines are written while the bodies'
  // files are still locked: they may wait for another shell's lock on the index, and meanwhile a
  // shell that starts sweeps every unlocked temporary file as a leftover. Once the index refused,
  // the commits that follow give up at once instead of each waiting for its lock.
  std::vector<std::pair<bool, std::string>> results(batch.size());  // stored, kept
  const auto finish = [&](bool index_refused) {
    writer_role_.AssertHeld();  // run here, or by the index while this task waits
    for (size_t i = 0; i < batch.size(); ++i) {
      auto it = receiving_.find(batch[i].id);
      if (it != receiving_.end()) {
        if (whole[i] && !it->second.file->Close()) {
          OnDiskRefused(it->second);
          whole[i] = false;
        }
        receiving_.erase(it);
      }
      auto& [stored, kept] = results[i];
      if (whole[i] && batch[i].outcome.newest) {
        stored = Place(batch[i].target, index_refused, &kept);
      } else if (whole[i]) {
        // A newer version was asked for meanwhile: this body is not stored, but still answers
        // the requests waiting for it, instead of sending each to the network again.
        kept = batch[i].target.temporary_path;
      } else {
        fs_.RemoveFile(batch[i].target.temporary_path);
      }
    }
  };
  if (covered.empty()) {
    finish(false);
  } else {
    for (const std::string& path : covered) {
      CreateParentDirectories(path, fs_);
    }
    // No download begins before the load, which ran in an earlier task of this thread.
    index_.AssertLoaded();
    if (trouble_.IndexRefusing() || !index_.CoverReplacements(covered, [&] { finish(false); })) {
      trouble_.NoteIndexUnwritable();
      finish(true);
    }
  }
  for (size_t i = 0; i < batch.size(); ++i) {
    const auto& [stored, kept] = results[i];
    if (batch[i].done) {
      batch[i].done(stored, kept);
    } else if (!kept.empty()) {
      fs_.RemoveFile(kept);
    }
  }
}

bool BodyWriter::Place(const DownloadTarget& target, bool index_refused, std::string* kept) {
  // The body still answers the requests waiting for it.
  if (index_refused) {
    *kept = target.temporary_path;
    return false;
  }
  if (fs_.Rename(target.temporary_path, target.cache_path)) {
    // Flushed before its line is written, with the others of that write: a power cut may lose
    // the line, never leave it naming bytes that did not reach the disk.
    placed_.Add(target.cache_path, fs_.Stamp(target.cache_path));
    // Recorded only now: a failed or dropped download leaves the path in flux, so the next
    // request asks the network again instead of taking an old file for the new version.
    index_.AssertLoaded();
    index_.Update(target.cache_path, IndexTokenFor(target.token));
    return true;
  }
  if (!trouble_.DiskRefusing()) {
    trouble_.NoteUnplaceable(target.cache_path);
    *kept = target.temporary_path;
    return false;
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
