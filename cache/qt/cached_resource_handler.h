#pragma once

#include <QList>
#include <QPointer>
#include <QWebEngineUrlSchemeHandler>

#include <string>
#include <unordered_map>

#include "cache/core/cache_paths.h"
#include "cache/qt/cached_responses.h"
#include "cache/qt/held_cache_files.h"
#include "cache/qt/serving_files.h"

class NetworkBypass;
class QWebEngineUrlRequestJob;

// Answers requests of the internal cache scheme: with the older file held for the request, or,
// while the shell's download of the resource runs, once it has its answer; otherwise with the
// cached file at the URL's cache path, status 200 and its whole length. A file replaced meanwhile
// (always by rename) is still read whole from the copy opened. A file that is missing, empty or
// unreadable sends the request back to the network.
// Thread: UI (the engine reads the opened file on its own thread).
class CachedResourceHandler : public QWebEngineUrlSchemeHandler, public CachedResponses {
  Q_OBJECT

 public:
  // `bypass` must outlive the handler.
  explicit CachedResourceHandler(NetworkBypass* bypass);
  // Removes the kept bodies.
  ~CachedResourceHandler() override;

  void requestStarted(QWebEngineUrlRequestJob* job) override;

  // CachedResponses:
  void HoldCurrentFile(const QUrl& cache_url, const std::string& path) override;
  void DownloadStarted(const gameshell::ResourceKey& key) override;
  void DownloadAnswered(const gameshell::ResourceKey& key,
                        bool stored,
                        const QString& kept) override;

 private:
  // Answers `job` with the file at `path` once one may be opened, or sends it to the network.
  void Serve(QWebEngineUrlRequestJob* job, const std::string& path);
  void Reply(QWebEngineUrlRequestJob* job, std::shared_ptr<QFile> file, const std::string& path);
  void SendToNetwork(QWebEngineUrlRequestJob* job);

  NetworkBypass* const bypass_;
  // Requests waiting for a running download, by its key.
  std::unordered_map<gameshell::ResourceKey,
                     QList<QPointer<QWebEngineUrlRequestJob>>,
                     gameshell::ResourceKeyHash>
      downloads_;
  // Bodies that could not be put in place, for the requests that were on their way to them when
  // the download ended; each goes after kKeptBodyMs.
  std::unordered_map<gameshell::ResourceKey, QString, gameshell::ResourceKeyHash> kept_bodies_;
  static constexpr int kKeptBodyMs = 10000;
  // Before the held files, which count against it.
  ServingFiles serving_files_;
  HeldCacheFiles held_files_;
};
