#pragma once

#include <QHash>
#include <QList>
#include <QNetworkAccessManager>
#include <QPointer>
#include <QUrl>
#include <QWebEngineUrlRequestInterceptor>

#include <string>

#include "cache/qt/held_cache_files.h"
#include "cache/qt/serving_files.h"

class QWebEngineProfile;
class QWebEngineUrlRequestJob;
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
  // Downloads send the profile's user agent and cookies, as the page's own requests do.
  ResourceRequestInterceptor(gameshell::ResourceCache* cache,
                             QWebEngineProfile* profile,
                             QObject* parent);
  // Running downloads are dropped.
  ~ResourceRequestInterceptor() override;

  void interceptRequest(QWebEngineUrlRequestInfo& info) override;

  // The cache scheme's job is answered once the download of its resource ends; false when no
  // download of it runs.
  bool WaitForDownload(QWebEngineUrlRequestJob* job);

  // The cache could not answer `job`: it goes to the network, past this interceptor, once.
  void SendToNetwork(QWebEngineUrlRequestJob* job);
  HeldCacheFiles* held_files() { return &held_files_; }
  ServingFiles* serving_files() { return &serving_files_; }

 private:
  struct Download {
    ResourceDownloadClient* client = nullptr;
    std::string cache_path;
    QList<QPointer<QWebEngineUrlRequestJob>> waiting;
    bool answers = true;  // false once its headers showed it will not answer the page
  };

  void JoinOrStartDownload(const QUrl& url,
                           const QUrl& referer,
                           const std::string& cache_path,
                           const std::string& token);
  void OnDownloadFinished(const QString& key, bool stored);
  void SendWaitingToNetwork(Download& download);

  gameshell::ResourceCache* const cache_;
  const QByteArray user_agent_;
  QNetworkAccessManager network_;
  QHash<QUrl, int> send_to_network_;
  // By cache path and token.
  QHash<QString, Download> downloads_;
  // Before the held files, which count against it.
  ServingFiles serving_files_;
  HeldCacheFiles held_files_{this};
};
