#pragma once

#include <QByteArray>
#include <QObject>
#include <QUrl>

#include <string>

#include "cache/core/resource_cache.h"

class QNetworkAccessManager;
class QNetworkReply;

namespace gameshell {

// The shell's one download of a resource, asking for compression as the engine does. The body
// streams to the cache's writer, which decodes it, so memory stays bounded whatever its size; it
// is kept only when the transfer ended without error, with HTTP status 200, at a known end (as
// many bytes as Content-Length announced, or, for an encoded body, its stream's own end), and
// within the size limits. It follows redirects only within the game's hosts,
// and is abandoned at once when the disk refuses its body.
// Thread: UI (the network manager delivers its signals there; files are written by the cache's
// writer thread).
class ResourceDownloadClient : public QObject {
  Q_OBJECT

 public:
  // A transfer that receives nothing for this long is abandoned.
  static constexpr int kStallTimeoutMs = 60000;
  // The engine's own limit (Chromium's net::kMaxRedirects).
  static constexpr int kMaxRedirects = 20;
  // A body larger than this (an endless stream, a misconfigured server) is abandoned.
  static constexpr qint64 kMaxBodyBytes = qint64{1} << 30;
  // Reading pauses while this much is queued for the writer and not yet written.
  static constexpr qint64 kMaxBacklogBytes = qint64{8} << 20;

  ResourceDownloadClient(QNetworkAccessManager* network,
                         ResourceCache* cache,
                         const QUrl& url,
                         const QUrl& referer,
                         const QByteArray& user_agent,
                         const ResourceKey& key);
  ~ResourceDownloadClient() override;

 signals:
  // The headers show that this download will not give the page its answer: a status other than
  // 200, or a body of unknown length (a live stream, say) or beyond the limit. The download may
  // still go on to fill the cache.
  void WillNotAnswer();
  // The body is in place (stored) or was dropped; emitted once, after the writer has done either.
  // `kept`: a whole body that could not be put in place, left in this file for the requests
  // waiting on it (whoever answers them removes it); empty otherwise.
  void Finished(bool stored, const QString& kept);

 private:
  void OnRedirect(const QUrl& target);
  void OnHeaders();
  // The page's requests go elsewhere from now on; with `abort`, the transfer stops too.
  void StopAnswering(bool abort);
  void Abandon();
  void ReadAvailable();
  // Hands what the reply holds to the writer; with `pause_when_behind`, stops while the writer
  // is behind, until the writer wakes it.
  void ReadInto(bool pause_when_behind);
  void OnRequestComplete();

  QNetworkReply* const reply_;
  ResourceCache* const cache_;
  const ResourceCache::DownloadId id_;
  qint64 received_ = 0;
  bool finished_ = false;
  bool will_not_answer_ = false;
  bool headers_seen_ = false;
  bool encoded_ = false;
};

}  // namespace gameshell
