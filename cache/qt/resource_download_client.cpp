#include "cache/qt/resource_download_client.h"

#include <QFile>

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>

#include "base/qt/ui_thread.h"
#include "cache/core/content_decoder.h"
#include "cache/core/download_decision.h"

namespace gameshell {

namespace {
constexpr qint64 kChunkBytes = qint64{1} << 20;
}

ResourceDownloadClient::ResourceDownloadClient(QNetworkAccessManager* network,
                                               ResourceCache* cache,
                                               const QUrl& url,
                                               const QUrl& referer,
                                               const QByteArray& user_agent,
                                               const ResourceKey& key)
    : reply_([&] {
        QNetworkRequest request(url);
        if (referer.isValid()) {
          request.setRawHeader("Referer",
                               referer.toEncoded(QUrl::RemoveFragment | QUrl::RemoveUserInfo));
        }
        request.setHeader(QNetworkRequest::UserAgentHeader, user_agent);
        // Compressed as the engine would ask. Named here, so the network stack hands over the
        // bytes as sent: their count is held against Content-Length, and the cache decodes them
        // and checks that the encoded stream ended.
        request.setRawHeader("Accept-Encoding", ContentDecoder::kAcceptedEncodings);
        request.setTransferTimeout(kStallTimeoutMs);
        request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                             QNetworkRequest::AlwaysNetwork);
        // Each redirect is vetted in OnRedirect; no more are followed than the engine follows.
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                             QNetworkRequest::UserVerifiedRedirectPolicy);
        request.setMaximumRedirectsAllowed(kMaxRedirects);
        return network->get(request);
      }()),
      cache_(cache),
      id_(cache->BeginDownload(key, [self = QPointer<ResourceDownloadClient>(this)] {
        // Writer thread: the disk refused the body.
        QMetaObject::invokeMethod(
            qApp,
            [self] {
              if (self) {
                self->Abandon();
              }
            },
            Qt::QueuedConnection);
      })) {
  GS_REQUIRE_UI_THREAD();
  reply_->setParent(this);
  // With the writer behind, the reply stops reading the socket once this much is buffered.
  reply_->setReadBufferSize(kChunkBytes);
  connect(reply_, &QNetworkReply::redirected, this, &ResourceDownloadClient::OnRedirect);
  connect(reply_, &QNetworkReply::metaDataChanged, this, &ResourceDownloadClient::OnHeaders);
  connect(reply_, &QIODevice::readyRead, this, &ResourceDownloadClient::ReadAvailable);
  connect(reply_, &QNetworkReply::finished, this, &ResourceDownloadClient::OnRequestComplete);
}

ResourceDownloadClient::~ResourceDownloadClient() {
  if (!finished_) {
    // The shell is ending: what arrived is dropped, and nobody is told.
    reply_->disconnect(this);
    cache_->FinishDownload(id_, false);
  }
}

void ResourceDownloadClient::OnHeaders() {
  GS_REQUIRE_UI_THREAD();
  const QVariant status = reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute);
  if (headers_seen_ || !status.isValid() || status.toInt() < 200 ||
      (status.toInt() >= 300 && status.toInt() < 400)) {
    // Nothing known yet (the network stack shows 100 while it sends a request again on a new
    // connection), or a redirect the network manager follows.
    return;
  }
  headers_seen_ = true;
  const QVariant length = reply_->header(QNetworkRequest::ContentLengthHeader);
  const QByteArray encoding = reply_->rawHeader("Content-Encoding").trimmed();
  encoded_ = !encoding.isEmpty() && encoding.toLower() != "identity";
  if (status.toInt() != 200) {
    StopAnswering(/*abort=*/false);  // the page gets the origin's own answer
    return;
  }
  if (!cache_->SetBodyEncoding(id_, encoding.toStdString())) {
    StopAnswering(/*abort=*/true);  // nothing here could store it
    return;
  }
  if (length.isValid() && !cache_->RoomFor(id_, length.toLongLong())) {
    // The disk keeps its free space; the page fetches the body itself, once.
    StopAnswering(/*abort=*/true);
    return;
  }
  if (length.isValid() ? length.toLongLong() > kMaxBodyBytes : !encoded_) {
    // Too large, or no end that a count or a decoder could check (a live stream, say; a body that
    // ends when the connection closes looks complete to the network stack, and a chunked one cut
    // before its last chunk has been stored as complete): nothing here could store it.
    StopAnswering(/*abort=*/true);
  }
}

void ResourceDownloadClient::StopAnswering(bool abort) {
  if (!will_not_answer_) {
    will_not_answer_ = true;
    emit WillNotAnswer();
  }
  if (abort && !finished_) {
    reply_->abort();
  }
}

void ResourceDownloadClient::Abandon() {
  GS_REQUIRE_UI_THREAD();
  StopAnswering(/*abort=*/true);
}

void ResourceDownloadClient::OnRedirect(const QUrl& target) {
  GS_REQUIRE_UI_THREAD();
  const std::string from = reply_->url().toEncoded().toStdString();
  const std::string to = target.toEncoded().toStdString();
  if (MayFollowRedirect(from, to, cache_->hosts())) {
    emit reply_->redirectAllowed();
    return;
  }
  // The page follows the redirect itself, as it would without the shell.
  StopAnswering(/*abort=*/true);
}

void ResourceDownloadClient::ReadAvailable() {
  GS_REQUIRE_UI_THREAD();
  OnHeaders();
  ReadInto(/*pause_when_behind=*/true);
}

void ResourceDownloadClient::ReadInto(bool pause_when_behind) {
  while (!finished_ && reply_->bytesAvailable() > 0) {
    if (pause_when_behind &&
        !cache_->WhenBacklogBelow(id_, kMaxBacklogBytes, [self = QPointer(this)] {
          // Writer thread: reading goes on where the reply was left.
          QMetaObject::invokeMethod(
              qApp,
              [self] {
                if (self) {
                  self->ReadAvailable();
                }
              },
              Qt::QueuedConnection);
        })) {
      return;
    }
    QByteArray chunk = reply_->read(kChunkBytes);
    received_ += chunk.size();
    if (received_ > kMaxBodyBytes) {
      reply_->abort();
      return;
    }
    cache_->AppendToDownload(id_, chunk.toStdString());
  }
}

void ResourceDownloadClient::OnRequestComplete() {
  GS_REQUIRE_UI_THREAD();
  if (finished_) {
    return;
  }
  if (reply_->error() == QNetworkReply::NoError) {
    // What is left is at most one read buffer.
    ReadInto(/*pause_when_behind=*/false);
  }
  finished_ = true;
  const int status = reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
  const QVariant length = reply_->header(QNetworkRequest::ContentLengthHeader);
  // A connection closed cleanly before the announced end is no error to the network stack, so
  // the end must be known: the announced length reached, or (checked by the cache as it decodes)
  // the encoded stream's own end.
  const bool complete = reply_->error() == QNetworkReply::NoError && status == 200 &&
                        received_ <= kMaxBodyBytes &&
                        (length.isValid() ? length.toLongLong() == received_ : encoded_);
  QPointer<ResourceDownloadClient> self(this);
  cache_->FinishDownloadKeeping(id_, complete, [self](bool stored, const std::string& kept) {
    // Writer thread: the answer goes back to the UI thread, where the client may be gone.
    QMetaObject::invokeMethod(
        qApp,
        [self, stored, kept = QString::fromStdString(kept)] {
          if (self) {
            emit self->Finished(stored, kept);
          } else if (!kept.isEmpty()) {
            QFile::remove(kept);
          }
        },
        Qt::QueuedConnection);
  });
}

}  // namespace gameshell
