#pragma once

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "cache/core/cache_index.h"
#include "platform/file_system.h"

namespace gameshell::testing {

// Runs a test inside a fresh empty directory, the cache root, and removes it afterwards.
class ScopedTempCwd {
 public:
  ScopedTempCwd() : previous_(std::filesystem::current_path()) {
    std::random_device random;
    do {
      dir_ = std::filesystem::temp_directory_path() / ("gs-cache-" + std::to_string(random()));
    } while (!std::filesystem::create_directory(dir_));
    std::filesystem::current_path(dir_);
  }
  ~ScopedTempCwd() {
    std::filesystem::current_path(previous_);
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  const std::filesystem::path& path() const { return dir_; }

 private:
  std::filesystem::path previous_;
  std::filesystem::path dir_;
};

inline std::string Joined(const std::vector<std::string>& paths) {
  std::string joined;
  for (const std::string& path : paths) {
    joined += (joined.empty() ? "" : " ") + path;
  }
  return joined;
}

// The real disk, with faults switched on by the test and the bytes written counted.
class FaultyFileSystem : public FileSystem {
 public:
  bool fail_rename = false;
  bool fail_write = false;
  // The index file refuses every write (owned by another user, say); resource files do not.
  bool fail_index_write = false;
  // Says another process holds the index's lock (with fail_index_write, as a stopped shell would).
  bool lock_held_elsewhere = false;
  // Runs before each append to the index (while it would wait for another shell's lock, say).
  std::function<void()> before_index_append;
  // Run once the index has been read whole, and around each rename: the moments a peer may act.
  std::function<void()> after_index_read;
  std::function<void(const std::string& to)> before_rename;
  std::function<void(const std::string& to)> after_rename;
  // Runs before files are flushed (placed files, before their lines are written).
  std::function<void(const std::vector<std::string>& paths)> before_sync;
  // Appends and rewrites of the index refused meanwhile (each would have waited for the lock).
  std::atomic<int> refused_index_writes{0};
  // What the file system says it has free; unknown when unset.
  std::optional<uint64_t> free_bytes;
  // Writes only this many bytes, then fails as a full disk does.
  size_t write_limit = SIZE_MAX;
  uint64_t bytes_written = 0;
  int renames = 0;
  // "sync <paths>", "index <lines>" and "rename <to>" in the order they happened; read once the
  // cache is done.
  std::vector<std::string> events;

  std::optional<uint64_t> FileSize(const std::string& path) override {
    return real_.FileSize(path);
  }
  ReadOutcome ReadFileInPieces(const std::string& path,
                               size_t piece,
                               const std::function<bool(std::string_view)>& sink) override {
    const ReadOutcome outcome = real_.ReadFileInPieces(path, piece, sink);
    if (path == kIndexFileName && after_index_read) {
      std::exchange(after_index_read, nullptr)();
    }
    return outcome;
  }
  bool CreateDirectory(const std::string& path) override { return real_.CreateDirectory(path); }
  bool WriteFile(const std::string& path, std::string_view content) override {
    if (fail_write) {
      return false;
    }
    if (content.size() > write_limit) {
      real_.WriteFile(path, content.substr(0, write_limit));
      bytes_written += write_limit;
      return false;
    }
    bytes_written += content.size();
    return real_.WriteFile(path, content);
  }
  bool AppendFile(const std::string& path, std::string_view content) override {
    if (fail_index_write && path == kIndexFileName) {
      ++refused_index_writes;
      return false;
    }
    if (fail_write) {
      return false;
    }
    bytes_written += content.size();
    if (path == kIndexFileName) {
      if (before_index_append) {
        before_index_append();
      }
      std::lock_guard<std::mutex> lock(events_mutex_);
      events.push_back("index " + std::string(content));
    }
    return real_.AppendFile(path, content);
  }
  bool AppendLocked(const std::string& path,
                    const std::function<std::string()>& make,
                    bool sync,
                    const std::function<void()>& then) override {
    if (fail_index_write && path == kIndexFileName) {
      ++refused_index_writes;
      return false;
    }
    if (fail_write) {
      return false;
    }
    const auto noted = [&] {
      std::string content = make();
      bytes_written += content.size();
      if (path == kIndexFileName) {
        if (before_index_append) {
          before_index_append();
        }
        std::lock_guard<std::mutex> lock(events_mutex_);
        if (!content.empty()) {
          events.push_back("index " + content);
        }
        if (sync) {
          events.push_back("sync " + path);
        }
      }
      return content;
    };
    return real_.AppendLocked(path, noted, sync, then);
  }
  bool SyncFiles(const std::vector<std::string>& paths) override {
    if (before_sync) {
      before_sync(paths);
    }
    std::lock_guard<std::mutex> lock(events_mutex_);
    events.push_back("sync " + Joined(paths));
    return real_.SyncFiles(paths);
  }
  bool ReplaceFileMerged(const std::string& path,
                         const std::function<void(std::string_view)>& take,
                         const std::function<std::string()>& make) override {
    if (fail_index_write && path == kIndexFileName) {
      ++refused_index_writes;
      return false;
    }
    // Through this object's own writes and renames, so faults apply.
    return FileSystem::ReplaceFileMerged(path, take, make);
  }
  std::unique_ptr<WritableFile> NewWritableFile(const std::string& path) override {
    if (fail_write) {
      return nullptr;
    }
    return real_.NewWritableFile(path);
  }
  bool Rename(const std::string& from, const std::string& to) override {
    ++renames;
    if (before_rename) {
      before_rename(to);
    }
    if (fail_rename) {
      return false;
    }
    {
      std::lock_guard<std::mutex> lock(events_mutex_);
      events.push_back("rename " + to);
    }
    const bool renamed = real_.Rename(from, to);
    if (after_rename) {
      after_rename(to);
    }
    return renamed;
  }
  bool RemoveFile(const std::string& path) override { return real_.RemoveFile(path); }
  bool ListDirectory(const std::string& path, std::vector<std::string>* names) override {
    return real_.ListDirectory(path, names);
  }
  bool RemoveUnlockedFile(const std::string& path) override {
    return real_.RemoveUnlockedFile(path);
  }
  bool IsDirectory(const std::string& path) override { return real_.IsDirectory(path); }
  int OpenForReading(const std::string& path) override { return real_.OpenForReading(path); }
  std::optional<FileStamp> Stamp(const std::string& path) override { return real_.Stamp(path); }
  std::optional<uint64_t> FreeBytes() override { return free_bytes; }
  bool LockHeldElsewhere(const std::string& path) override {
    return lock_held_elsewhere || real_.LockHeldElsewhere(path);
  }

 private:
  FileSystem& real_ = DefaultFileSystem();
  // The index's lines and its flushes come from different threads.
  std::mutex events_mutex_;
};

// Files in memory: for index tests that count writes without touching a disk.
class MemoryFileSystem : public FileSystem {
 public:
  std::map<std::string, std::string> files;
  // Only what the index asks: as on Windows.
  bool ignore_case = false;
  bool NamesIgnoreCase() const override { return ignore_case; }
  uint64_t bytes_written = 0;
  int writes = 0;

  std::optional<uint64_t> FileSize(const std::string& path) override {
    auto it = files.find(path);
    return it == files.end() ? std::nullopt : std::optional<uint64_t>(it->second.size());
  }
  bool CreateDirectory(const std::string&) override { return true; }
  ReadOutcome ReadFileInPieces(const std::string& path,
                               size_t piece,
                               const std::function<bool(std::string_view)>& sink) override {
    auto it = files.find(path);
    if (it == files.end()) {
      return ReadOutcome::kMissing;
    }
    for (std::string_view rest = it->second; !rest.empty() && sink(rest.substr(0, piece));) {
      rest.remove_prefix(std::min(piece, rest.size()));
    }
    return ReadOutcome::kRead;
  }
  bool WriteFile(const std::string& path, std::string_view content) override {
    files[path] = std::string(content);
    bytes_written += content.size();
    ++writes;
    return true;
  }
  bool AppendFile(const std::string& path, std::string_view content) override {
    files[path] += content;
    bytes_written += content.size();
    ++writes;
    return true;
  }
  std::unique_ptr<WritableFile> NewWritableFile(const std::string& path) override {
    class File : public WritableFile {
     public:
      explicit File(std::string* content) : content_(content) {}
      bool Append(std::string_view data) override {
        content_->append(data);
        return true;
      }
      bool Close() override { return true; }

     private:
      std::string* content_;
    };
    files[path].clear();
    ++writes;
    return std::make_unique<File>(&files[path]);
  }
  bool Rename(const std::string& from, const std::string& to) override {
    auto it = files.find(from);
    if (it == files.end()) {
      return false;
    }
    files[to] = std::move(it->second);
    files.erase(from);
    return true;
  }
  bool RemoveFile(const std::string& path) override { return files.erase(path) > 0; }
  bool ListDirectory(const std::string& path, std::vector<std::string>* names) override {
    for (const auto& [name, content] : files) {
      if (path.empty() && name.find('/') == std::string::npos) {
        names->push_back(name);
      }
    }
    return true;
  }
  bool RemoveUnlockedFile(const std::string& path) override { return RemoveFile(path); }
  bool SyncFiles(const std::vector<std::string>&) override { return true; }
  bool IsDirectory(const std::string&) override { return false; }
  int OpenForReading(const std::string&) override { return -1; }
};

}  // namespace gameshell::testing
