#pragma once

#include <QByteArray>
#include <QObject>
#include <QUrl>

#include <string>

class QNetworkAccessManager;
class QNetworkReply;

namespace gameshell {
class ResourceCache;
}

// One background download of a resource, made beside the page's own request. The body is kept
// in memory and stored only when the transfer completed with HTTP status 200; anything else
// (network error, other status, a dropped or stalled connection) stores nothing. Deletes itself
// when done.
// Thread: UI (the network manager delivers its signals there; the file is written by the cache's
// writer thread).
class ResourceDownloadClient : public QObject {
  Q_OBJECT

 public:
  // A transfer that receives nothing for this long is abandoned.
  static constexpr int kStallTimeoutMs = 60000;

  static void Start(QNetworkAccessManager* network,
                    gameshell::ResourceCache* cache,
                    const QUrl& url,
                    const QUrl& referer,
                    const QByteArray& user_agent,
                    std::string cache_path);

 private:
  ResourceDownloadClient(QNetworkReply* reply,
                         gameshell::ResourceCache* cache,
                         std::string cache_path);
  void OnDownloadData();
  void OnRequestComplete();

  QNetworkReply* const reply_;
  gameshell::ResourceCache* const cache_;
  const std::string cache_path_;
  QByteArray download_buffer_;
};
