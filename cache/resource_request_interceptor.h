#pragma once

#include <QNetworkAccessManager>
#include <QSet>
#include <QUrl>
#include <QWebEngineUrlRequestInterceptor>

#include "cache/held_cache_files.h"

class QWebEngineProfile;

namespace gameshell {
class ResourceCache;
}

// Sees every request of every page before it is made and applies the cache's decision: pass it
// through; serve the stored file (by redirecting to the internal cache scheme); or record the new
// version, start a background download, and let the request go on, served from the older file
// when one is on disk.
// Thread: UI (where this engine calls interceptors).
class ResourceRequestInterceptor : public QWebEngineUrlRequestInterceptor {
  Q_OBJECT

 public:
  // Downloads send the profile's user agent and cookies, as the page's own requests do.
  ResourceRequestInterceptor(gameshell::ResourceCache* cache,
                             QWebEngineProfile* profile,
                             QObject* parent);

  void interceptRequest(QWebEngineUrlRequestInfo& info) override;

  // The cache scheme could not serve `url` after all: its next request goes to the network.
  void SendToNetworkOnce(const QUrl& url);
  HeldCacheFiles* held_files() { return &held_files_; }

 private:
  gameshell::ResourceCache* const cache_;
  const QByteArray user_agent_;
  QNetworkAccessManager network_;
  QSet<QUrl> send_to_network_;
  HeldCacheFiles held_files_{this};
};
