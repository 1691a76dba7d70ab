#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "cache/file_system.h"

// The resource cache's memory of which version of each resource is stored: cache path -> version
// token, plus the reserved key "version" holding the cache generation. Kept in "fileList.txt" in
// the cache root, one "key value" line per entry in byte order of the keys.
//
// Threads: the one object shared between threads. Load, Reset and the final Save come from the UI
// thread; Find, Update and the throttled saves from the thread deciding about requests. One mutex
// guards the entries, the throttle state and every write of the file.
namespace gameshell {

inline constexpr char kIndexFileName[] = "fileList.txt";
inline constexpr char kGenerationKey[] = "version";

// Milliseconds since the process started.
int64_t ProcessClockMs();

// The index file's text for these entries. Entries whose key holds a space, or whose key or value
// holds a line break, cannot be read back as written and are left out rather than let them spill
// into other lines.
std::string SerializeIndex(const std::map<std::string, std::string>& entries);

// Adds the entries of an index file's text to `entries`; a later line wins over an earlier one.
// Accepts LF and CR LF line ends; skips lines without a space or with nothing after it.
void ParseIndex(std::string_view text, std::map<std::string, std::string>& entries);

class CacheIndex {
 public:
  using Clock = std::function<int64_t()>;

  static constexpr int32_t kUpdatesPerSave = 10;
  static constexpr int64_t kSaveIntervalMs = 10000;

  explicit CacheIndex(FileSystem& fs = DefaultFileSystem(),
                      Clock clock = ProcessClockMs,
                      std::string file_name = kIndexFileName);
  CacheIndex(const CacheIndex&) = delete;
  CacheIndex& operator=(const CacheIndex&) = delete;

  // With a scheduler, the saves that Update's throttle and Reset make are handed to it (it must
  // call Save later, typically on a writer thread) instead of being written on the caller's
  // thread. Set before use.
  void SetSaveScheduler(std::function<void()> schedule_save) {
    schedule_save_ = std::move(schedule_save);
  }

  // Reads the index file once at start; a missing generation becomes "1".
  void Load();
  std::optional<std::string> Find(const std::string& key) const;
  // Records a token and saves when more than 10 updates, or more than 10 s, have passed since the
  // last throttled save.
  void Update(const std::string& key, const std::string& value);
  void Save();
  // Forgets every token and starts generation `generation`; resource files stay on disk.
  void Reset(const std::string& generation);

  std::map<std::string, std::string> Entries() const;

 private:
  void SaveLocked();
  // Saves now, or hands the save to the scheduler.
  void SaveOrScheduleLocked();

  FileSystem& fs_;
  const Clock clock_;
  const std::string file_name_;
  std::function<void()> schedule_save_;

  mutable std::mutex mutex_;
  std::map<std::string, std::string> entries_;
  int32_t updates_since_save_ = 0;
  int64_t last_save_time_ = 0;
};

}  // namespace gameshell
