#pragma once

#include <QString>

#include <string>

#include "cache/core/cache_paths.h"

class QString;
class QUrl;

// What the side that decides and downloads tells the side that answers the engine's requests for
// cached files.
// Thread: UI.
class CachedResponses {
 public:
  // The next request for `cache_url` gets the file now at `path`, even if a download replaces it
  // first.
  virtual void HoldCurrentFile(const QUrl& cache_url, const std::string& path) = 0;
  // Requests for `key` wait for the download's answer from now on.
  virtual void DownloadStarted(const gameshell::ResourceKey& key) = 0;
  // The download of `key` has its answer for the requests waiting on it: the stored file, the
  // body kept in the file `kept` (which is removed once they have it), or none (they go to the
  // network). Later requests are answered from disk.
  virtual void DownloadAnswered(const gameshell::ResourceKey& key,
                                bool stored,
                                const QString& kept = QString()) = 0;

 protected:
  ~CachedResponses() = default;
};
