#include "cache/core/cache_index.h"

#include <algorithm>
#include <cassert>
#include <utility>

#include "cache/core/cache_paths.h"
#include "cache/core/index_format.h"

namespace gameshell {
namespace {

// Junk lines kept in memory at the most; any more are left out at once (a file of junk may be
// hundreds of megabytes).
constexpr uint64_t kMaxJunkBytes = uint64_t{1} << 20;

}  // namespace

CacheIndex::CacheIndex(FileSystem& fs, std::string file_name)
    : fs_(fs), file_(fs, std::move(file_name)), spellings_(fs.NamesIgnoreCase()) {}

void CacheIndex::ExpectLoad() {
  MutexLock lock(&mutex_);
  loading_ = true;
}

void CacheIndex::AssertLoaded() const {
#ifndef NDEBUG
  // Every request asserts it: a player's build takes no lock for a check it does not make.
  MutexLock lock(&mutex_);
  AssertLoadedLocked();
#endif
}

void CacheIndex::AssertLoadedLocked() const {
  assert(!loading_ && "the index was asked before its announced load ran: wait at the load gate");
}

void CacheIndex::Load() {
  // Read a piece at a time and parsed line by line: the file's size costs no memory, and junk
  // (past kMaxJunkBytes) none either.
  IndexEntries loaded;
  // Line by line, so the spelling written last wins, as its file did.
  Spellings spellings(fs_.NamesIgnoreCase());
  uint64_t junk_bytes = 0;
  bool junk = false;
  const IndexFile::ReadSummary read = file_.Read([&](std::string_view text) {
    std::string_view key, value;
    if (!ParseIndexLine(text, &key, &value)) {
      return;
    }
    std::string key_text(key);
    std::string value_text(value);
    if (!IsIndexEntry(key_text, value_text)) {
      junk = true;
      junk_bytes += text.size();
      if (junk_bytes > kMaxJunkBytes) {
        return;
      }
    }
    spellings.Record(key_text);
    loaded.Set(key_text, value_text);
  });

  MutexLock lock(&mutex_);
  loading_ = false;
  // Kept in memory only: writing to what is not a regular file could block for good (a FIFO) or
  // replace what someone put there.
  file_unusable_ = read.outcome == FileSystem::ReadOutcome::kUnusable;
  // The loaded nodes themselves become the entries: a copy of a large index's keys would leave as
  // much memory again behind, freed but scattered where the allocator cannot give it back. What
  // the file says wins over what was set meanwhile, as a later line would.
  loaded.Merge(entries_);
  entries_.Swap(loaded);
  spellings_.MergeFrom(std::move(spellings));
  file_bytes_ = read.bytes;
  uint64_t live_bytes = 0;
  entries_.ForEach([&live_bytes](std::string_view key, std::string_view value) {
    live_bytes += IndexLineBytes(key, value);
  });
  live_bytes_ = live_bytes;
  // A torn last line is mended by a rewrite, and so is junk (which stays readable in memory
  // meanwhile: nothing asks for it).
  rewrite_due_ = junk || read.torn;
  if (entries_.Add(kGenerationKey, "1")) {
    pending_.push_back(IndexLine(kGenerationKey, "1"));
    live_bytes_ += pending_.back().size();
  }
  if (reset_after_load_) {
    ResetLocked(*reset_after_load_);
    reset_after_load_.reset();
    // Written with the start's rewrite, or the next flush.
    rewrite_due_ = true;
  }
}

std::optional<std::string> CacheIndex::Find(const std::string& key) const {
  MutexLock lock(&mutex_);
  AssertLoadedLocked();
  const std::optional<std::string_view> value = entries_.Find(key);
  if (!value) {
    return std::nullopt;
  }
  return std::string(*value);
}

void CacheIndex::SetLocked(const std::string& key, const std::string& value) {
  std::string line = IndexLine(key, value);
  spellings_.Record(key);
  if (const std::optional<std::string> old = entries_.Set(key, value)) {
    live_bytes_ -= IndexLineBytes(key, *old);
  }
  live_bytes_ += line.size();
  if (!line.empty()) {
    pending_.push_back(std::move(line));
  }
}

void CacheIndex::Update(const std::string& key, const std::string& value) {
  {
    MutexLock lock(&mutex_);
    AssertLoadedLocked();
    SetLocked(key, value);
  }
  // Appends are cheap: an entry reaches the file within moments, so a kill loses none.
  FlushOrSchedule();
}

bool CacheIndex::CoverReplacements(const std::vector<std::string>& keys,
                                   const std::function<void()>& then) {
  std::vector<std::string> lines;
  std::string text;
  {
    MutexLock lock(&mutex_);
    AssertLoadedLocked();
    for (const std::string& key : keys) {
      std::string line = IndexLine(key, kNoVersionToken);
      if (line.empty()) {
        continue;  // a key no line can hold is never in the file either
      }
      SetLocked(key, kNoVersionToken);
      pending_.pop_back();
      // Only these lines, now: the other pending lines may name files not yet flushed to the disk
      // (SetBeforeWrite), and waiting for that here would hold up the replacements. A pending line
      // of a covered key is superseded and must not follow it into the file.
      std::erase_if(pending_, [&](const std::string& pending) {
        return pending.size() > key.size() && pending.starts_with(key) &&
               pending[key.size()] == ' ';
      });
      text += line;
      lines.push_back(std::move(line));
    }
    // A file that is never read names no version: the files are replaced all the same.
    if (file_unusable_) {
      text.clear();
    }
  }
  bool ok;
  {
    MutexLock write_lock(&file_.write_mutex());
    if (!text.empty()) {
      ok = file_.AppendLocked([&] { return text; }, /*sync=*/true, then);
    } else {
      if (then) {
        then();
      }
      ok = true;
    }
  }
  MutexLock lock(&mutex_);
  if (!ok) {
    // Memory stays authoritative: the lines go out with the next write that succeeds.
    pending_.insert(pending_.end(), lines.begin(), lines.end());
    return false;
  }
  file_bytes_ += text.size();
  return true;
}

void CacheIndex::StampEntries(const TakeStamp& take, const std::atomic<bool>* stop) {
  // A slice of keys at a time: the stats run outside the lock, and a copy of every key of a large
  // index would cost as much memory as the index.
  constexpr size_t kSlice = 1024;
  std::vector<std::string> keys;
  std::vector<std::string> gone;
  std::optional<std::string> after;
  while (true) {
    if (stop && stop->load()) {
      return;
    }
    {
      MutexLock lock(&mutex_);
      keys = entries_.KeysAfter(after, kSlice);
    }
    if (keys.empty()) {
      break;
    }
    after = keys.back();
    for (std::string& key : keys) {
      if (key == kGenerationKey) {
        continue;
      }
      if (std::optional<FileStamp> stamp = fs_.Stamp(key)) {
        take(key, *stamp);
      } else {
        gone.push_back(std::move(key));
      }
    }
  }
  if (gone.empty() || (stop && stop->load())) {
    return;
  }
  {
    MutexLock lock(&mutex_);
    for (const std::string& key : gone) {
      // A file put in place meanwhile brings its entry back.
      if (entries_.Contains(key) && !fs_.FileSize(key)) {
        live_bytes_ -= IndexLineBytes(key, *entries_.Erase(key));
        dropped_.insert(key);
      }
    }
    // Written by the start's rewrite: a peer's lock on the file must not hold up the look.
    rewrite_due_ = true;
  }
}

bool CacheIndex::OutgrownLocked(uint64_t added) const {
  // Other shells' entries count as live: they came in with the last rewrite.
  return file_bytes_ + added > 2 * std::max(live_bytes_, rewritten_bytes_);
}

void CacheIndex::RewriteIfDue() {
  {
    MutexLock lock(&mutex_);
    if (!rewrite_due_ && !OutgrownLocked(0)) {
      return;
    }
  }
  Write(false, true);
}

void CacheIndex::Flush(bool compact) {
  Write(false, compact);
}

void CacheIndex::Save() {
  Write(true, true);
}

void CacheIndex::Reset(const std::string& generation) {
  if (generation.find_first_of("\r\n") != std::string::npos) {
    return;
  }
  {
    MutexLock lock(&mutex_);
    if (loading_) {
      // Cleared once the load has run, in its place: the player's clear never waits for a large
      // index to be read.
      reset_after_load_ = generation;
      return;
    }
    ResetLocked(generation);
  }
  FlushOrSchedule();
}

void CacheIndex::ResetLocked(const std::string& generation) {
  entries_.Clear();
  spellings_.Clear();
  pending_.clear();
  live_bytes_ = 0;
  reset_pending_ = true;
  SetLocked(kGenerationKey, generation);
}

bool CacheIndex::OwnsFile(const std::string& key) const {
  MutexLock lock(&mutex_);
  AssertLoadedLocked();
  return spellings_.Owns(key);
}

std::map<std::string, std::string> CacheIndex::Entries() const {
  MutexLock lock(&mutex_);
  AssertLoadedLocked();
  return entries_.ToMap();
}

void CacheIndex::FlushOrSchedule() {
  if (schedule_save_) {
    schedule_save_();
  } else {
    Flush();
  }
}

void CacheIndex::Write(bool whole, bool compact) {
  MutexLock write_lock(&file_.write_mutex());
  std::vector<std::string> lines;
  bool reset = false;
  bool rewrite = false;
  {
    MutexLock lock(&mutex_);
    // Before Load there is nothing worth writing over what the file holds.
    if (entries_.Empty() || file_unusable_) {
      pending_.clear();
      return;
    }
    lines.swap(pending_);
    reset = reset_pending_;
    uint64_t added = 0;
    for (const std::string& line : lines) {
      added += line.size();
    }
    rewrite = whole || reset || rewrite_due_ || (compact && OutgrownLocked(added));
    if (!rewrite && lines.empty()) {
      return;
    }
  }
  std::string appended;
  for (const std::string& line : lines) {
    appended += line;
  }
  if (before_write_) {
    before_write_();
  }
  bool ok;
  uint64_t file_bytes = 0;
  // Lines whose file a peer replaced since this shell put it in place: theirs name the new bytes.
  std::vector<std::pair<std::string, std::string>> superseded;
  if (!rewrite) {
    // Checked under the lock the peers' replacements happen under: none can come in between.
    ok = file_.AppendLocked(
        [&] {
          if (!replaced_by_peer_) {
            file_bytes = appended.size();
            return appended;
          }
          std::string kept;
          for (const std::string& line : lines) {
            std::string_view key, value;
            if (ParseIndexLine(std::string_view(line).substr(0, line.size() - 1), &key, &value) &&
                replaced_by_peer_(std::string(key))) {
              superseded.emplace_back(key, value);
            } else {
              kept += line;
            }
          }
          file_bytes = kept.size();
          return kept;
        },
        /*sync=*/false, {});
  } else {
    ok = file_.Rewrite(
        reset, appended,
        [&](std::map<std::string, std::string>& merged, bool from_file) {
          if (!from_file) {
            // A clear drops whatever the file held; a file gone is written anew from memory.
            MutexLock lock(&mutex_);
            merged = entries_.ToMap();
            DropJunk(merged);
            return;
          }
          MutexLock lock(&mutex_);
          for (const std::string& key : dropped_) {
            if (!entries_.Contains(key)) {
              merged.erase(key);
            }
          }
        },
        &file_bytes);
  }
  MutexLock lock(&mutex_);
  if (!ok) {
    // Memory stays authoritative: the lines go out with the next write that succeeds.
    pending_.insert(pending_.begin(), lines.begin(), lines.end());
    reset_pending_ = reset_pending_ || reset;
    return;
  }
  if (rewrite) {
    file_bytes_ = file_bytes;
    rewritten_bytes_ = file_bytes;
    rewrite_due_ = false;
    dropped_.clear();
    reset_pending_ = reset_pending_ && !reset;
  } else {
    file_bytes_ += file_bytes;
    appends_unsynced_ = true;
  }
  for (const auto& [key, value] : superseded) {
    // Not this shell's version any more; no line needed, the peer's says which it is.
    if (entries_.Find(key) == value) {
      entries_.Set(key, kNoVersionToken);
    }
  }
}

bool CacheIndex::SyncAppends() {
  {
    MutexLock lock(&mutex_);
    if (!appends_unsynced_) {
      return true;
    }
    // Cleared first: a line appended while the flush runs asks for the next one.
    appends_unsynced_ = false;
  }
  if (file_.Sync()) {
    return true;
  }
  MutexLock lock(&mutex_);
  appends_unsynced_ = true;
  return false;
}

}  // namespace gameshell
