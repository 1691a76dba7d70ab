#pragma once

#include <QNetworkAccessManager>
#include <QUrl>
#include <QWebEngineUrlRequestInterceptor>

#include <memory>
#include <unordered_map>

#include "cache/core/cache_paths.h"

class CachedResponses;
class NetworkBypass;
class QWebEngineProfile;
class ResourceDownloadClient;

namespace gameshell {
class ResourceCache;
}

// Sees every request of every page before it is made and applies the cache's decision: pass it
// through; serve the stored file (by redirecting to the internal cache scheme); or fetch the
// resource once, in the shell's own download, which every request for it joins. A request with an
// older file on disk gets that file this once; one without waits for the download and gets its
// body, or, when the download did not complete, is sent to the network as if the shell were not
// there, so the page sees the origin's own answer.
// Thread: UI (where this engine calls interceptors).
class ResourceRequestInterceptor : public QWebEngineUrlRequestInterceptor {
  Q_OBJECT

 public:
  // Downloads send the profile's user agent and cookies, as the page's own requests do. Every
  // pointer must outlive the interceptor.
  ResourceRequestInterceptor(gameshell::ResourceCache* cache,
                             QWebEngineProfile* profile,
                             CachedResponses* responses,
                             NetworkBypass* bypass);
  // Running downloads are dropped.
  ~ResourceRequestInterceptor() override;

  void interceptRequest(QWebEngineUrlRequestInfo& info) override;

 private:
  struct Download {
    std::unique_ptr<ResourceDownloadClient> client;
    bool answered = false;  // the requests waiting on it have had their answer
  };

  void JoinOrStartDownload(const QUrl& url, const QUrl& referer, const gameshell::ResourceKey& key);
  void Answer(const gameshell::ResourceKey& key, bool stored, const QString& kept = QString());
  void OnDownloadFinished(const gameshell::ResourceKey& key, bool stored, const QString& kept);

  gameshell::ResourceCache* const cache_;
  CachedResponses* const responses_;
  NetworkBypass* const bypass_;
  const QByteArray user_agent_;
  QNetworkAccessManager network_;
  std::unordered_map<gameshell::ResourceKey, Download, gameshell::ResourceKeyHash> downloads_;
};
