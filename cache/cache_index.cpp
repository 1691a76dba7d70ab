#include "cache/cache_index.h"

#include <chrono>

namespace gameshell {
namespace {

#ifdef _WIN32
constexpr std::string_view kLineEnd = "\r\n";
#else
constexpr std::string_view kLineEnd = "\n";
#endif

const auto kProcessStart = std::chrono::steady_clock::now();

bool RoundTrips(const std::string& key, const std::string& value) {
  return key.find_first_of(" \r\n") == std::string::npos &&
         value.find_first_of("\r\n") == std::string::npos;
}

}  // namespace

int64_t ProcessClockMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               kProcessStart)
      .count();
}

std::string SerializeIndex(const std::map<std::string, std::string>& entries) {
  std::string text;
  for (const auto& [key, value] : entries) {
    if (!RoundTrips(key, value)) {
      continue;
    }
    text += key;
    text += ' ';
    text += value;
    text += kLineEnd;
  }
  return text;
}

void ParseIndex(std::string_view text, std::map<std::string, std::string>& entries) {
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (line.ends_with('\r')) {
      line.remove_suffix(1);
    }
    size_t space = line.find(' ');
    if (space == std::string_view::npos || space + 1 == line.size()) {
      continue;
    }
    entries.insert_or_assign(std::string(line.substr(0, space)),
                             std::string(line.substr(space + 1)));
  }
}

CacheIndex::CacheIndex(FileSystem& fs, Clock clock, std::string file_name)
    : fs_(fs), clock_(std::move(clock)), file_name_(std::move(file_name)) {}

void CacheIndex::Load() {
  std::string text;
  fs_.ReadFile(file_name_, &text);
  std::lock_guard lock(mutex_);
  ParseIndex(text, entries_);
  entries_.try_emplace(kGenerationKey, "1");
}

std::optional<std::string> CacheIndex::Find(const std::string& key) const {
  std::lock_guard lock(mutex_);
  auto it = entries_.find(key);
  if (it == entries_.end()) {
    return std::nullopt;
  }
  return it->second;
}

void CacheIndex::Update(const std::string& key, const std::string& value) {
  std::lock_guard lock(mutex_);
  entries_.insert_or_assign(key, value);
  const int64_t now = clock_();
  ++updates_since_save_;
  if (now - last_save_time_ > kSaveIntervalMs || updates_since_save_ > kUpdatesPerSave) {
    SaveOrScheduleLocked();
    last_save_time_ = now;
    updates_since_save_ = 0;
  }
}

void CacheIndex::Save() {
  std::lock_guard lock(mutex_);
  SaveLocked();
}

void CacheIndex::Reset(const std::string& generation) {
  std::lock_guard lock(mutex_);
  entries_.clear();
  entries_.emplace(kGenerationKey, generation);
  SaveOrScheduleLocked();
}

std::map<std::string, std::string> CacheIndex::Entries() const {
  std::lock_guard lock(mutex_);
  return entries_;
}

void CacheIndex::SaveOrScheduleLocked() {
  if (schedule_save_) {
    schedule_save_();
  } else {
    SaveLocked();
  }
}

void CacheIndex::SaveLocked() {
  // Before Load there is nothing worth writing over what the file holds.
  if (entries_.empty()) {
    return;
  }
  WriteFileAtomically(fs_, file_name_, SerializeIndex(entries_));
}

}  // namespace gameshell
