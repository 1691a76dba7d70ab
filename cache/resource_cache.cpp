#include "cache/resource_cache.h"

#include <array>
#include <utility>

#include "cache/cache_files.h"

namespace gameshell {

ResourceCache::ResourceCache(CacheHosts hosts, FileSystem& fs)
    : fs_(fs), hosts_(std::move(hosts)), index_(fs) {
  index_.SetSaveScheduler([this] { ScheduleSave(); });
}

ResourceCache::~ResourceCache() {
  writer_.Flush();
}

RequestDecision ResourceCache::Decide(std::string_view url) {
  return DecideRequest(url, hosts_, index_, fs_);
}

std::optional<uint64_t> ResourceCache::StoredFileSize(const std::string& cache_path) {
  return fs_.FileSize(cache_path);
}

void ResourceCache::Store(std::string cache_path, std::string content) {
  writer_.Post([this, path = std::move(cache_path), body = std::move(content)] {
    WriteCacheFile(path, body, fs_);
  });
}

void ResourceCache::ScheduleSave() {
  if (save_queued_.exchange(true)) {
    return;
  }
  writer_.Post([this] {
    save_queued_ = false;
    index_.Save();
  });
}

void ResourceCache::SaveAndWait() {
  writer_.Post([this] { index_.Save(); });
  writer_.Flush();
}

const char* ContentTypeForCachePath(std::string_view cache_path) {
  static constexpr std::array<std::pair<std::string_view, const char*>, 6> kTypes = {{
      {".png", "image/png"},
      {".jpg", "image/jpeg"},
      {".webp", "image/webp"},
      {".mp3", "audio/mpeg"},
      {".wav", "audio/wav"},
      {".conf", "text/plain"},
  }};
  for (const auto& [extension, type] : kTypes) {
    if (cache_path.ends_with(extension)) {
      return type;
    }
  }
  return "application/octet-stream";
}

}  // namespace gameshell
