#include "cache/core/cache_trouble.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "cache/core/cache_paths.h"
#include "platform/process_environment.h"

namespace gameshell {

namespace {

int64_t SteadySeconds() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

bool RefusedRecently(const std::atomic<int64_t>& refused_at) {
  const int64_t at = refused_at.load();
  return at != 0 && SteadySeconds() - at < CacheTrouble::kDiskRetrySeconds;
}

}  // namespace

CacheTrouble::CacheTrouble(FileSystem& fs)
    : fs_(fs), root_for_display_(platform::WorkingDirectoryForDisplay()) {}

bool CacheTrouble::DiskRefusing() const {
  return RefusedRecently(disk_refused_at_) || IndexRefusing();
}

bool CacheTrouble::IndexRefusing() const {
  return RefusedRecently(index_refused_at_);
}

void CacheTrouble::NoteDiskRefused() {
  PauseDownloads(disk_refused_at_, disk_refusal_reported_,
                 "无法在 " + root_for_display_ + " 中保存游戏文件，游戏文件将从网络获取。",
                 "cannot write the game's files in " + root_for_display_ +
                     "; they come from the network until it can");
}

void CacheTrouble::NoteIndexUnwritable() {
  const std::string where = std::string(kIndexFileName) + " in " + root_for_display_;
  const std::string named = std::string(kIndexFileName) + "（" + root_for_display_ + "）";
  if (fs_.LockHeldElsewhere(kIndexFileName)) {
    PauseDownloads(index_refused_at_, index_refusal_reported_,
                   "游戏文件的索引 " + named + "被另一个程序占用，游戏文件将从网络获取。",
                   "another program holds the cache index " + where +
                       " (another copy of the game, stopped?); the game's files come from the "
                       "network until it lets go");
  } else {
    PauseDownloads(index_refused_at_, index_refusal_reported_,
                   "无法写入游戏文件的索引 " + named + "，游戏文件将从网络获取。",
                   "cannot write the cache index " + where +
                       "; the game's files come from the network until it can");
  }
}

void CacheTrouble::PauseDownloads(std::atomic<int64_t>& refused_at,
                                  std::atomic<bool>& said,
                                  const std::string& chinese,
                                  const std::string& english) {
  refused_at = std::max<int64_t>(SteadySeconds(), 1);
  if (said.exchange(true)) {
    return;
  }
  std::fprintf(stderr, "gameshell: %s\n", english.c_str());
  std::fflush(stderr);
  Reporter reporter;
  {
    MutexLock lock(&mutex_);
    said_.emplace_back(chinese, english);
    reporter = reporter_;
  }
  if (reporter) {
    reporter(chinese, english);
  }
}

void CacheTrouble::SetReporter(Reporter reporter) {
  std::vector<std::pair<std::string, std::string>> said;
  {
    MutexLock lock(&mutex_);
    reporter_ = reporter;
    said = said_;
  }
  if (!reporter) {
    return;  // no one hears from now on
  }
  for (const auto& [chinese, english] : said) {
    reporter(chinese, english);
  }
}

void CacheTrouble::NoteUnplaceable(const std::string& path) {
  {
    MutexLock lock(&mutex_);
    if (!unplaceable_.insert(path).second) {
      return;
    }
  }
  std::fprintf(stderr,
               "gameshell: cannot put the game's file %s/%s in place (something in the way of its "
               "directory, or one that takes no file); it comes from the network this run\n",
               root_for_display_.c_str(), path.c_str());
  std::fflush(stderr);
}

bool CacheTrouble::RoomFor(int64_t bytes) const {
  const std::optional<uint64_t> free = fs_.FreeBytes();
  return !free || bytes < 0 || static_cast<uint64_t>(bytes) + kFreeMarginBytes <= *free;
}

void CacheTrouble::NoteNoRoomFor(const std::string& path, int64_t bytes) {
  {
    MutexLock lock(&mutex_);
    unplaceable_.insert(path);
  }
  if (no_room_reported_.exchange(true)) {
    return;
  }
  std::fprintf(stderr,
               "gameshell: the game's file %s (%lld bytes) would leave too little free space in "
               "%s; it comes from the network this run, and so does any other that would\n",
               path.c_str(), static_cast<long long>(bytes), root_for_display_.c_str());
  std::fflush(stderr);
}

bool CacheTrouble::Unplaceable(const std::string& path) const {
  MutexLock lock(&mutex_);
  return unplaceable_.contains(path);
}

}  // namespace gameshell
