#include "cache/resource_download_client.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

#include "cache/resource_cache.h"
#include "client/ui_thread.h"

void ResourceDownloadClient::Start(QNetworkAccessManager* network,
                                   gameshell::ResourceCache* cache,
                                   const QUrl& url,
                                   const QUrl& referer,
                                   const QByteArray& user_agent,
                                   std::string cache_path) {
  GS_REQUIRE_UI_THREAD();
  QNetworkRequest request(url);
  if (referer.isValid()) {
    request.setRawHeader("Referer", referer.toEncoded(QUrl::RemoveFragment | QUrl::RemoveUserInfo));
  }
  request.setHeader(QNetworkRequest::UserAgentHeader, user_agent);
  request.setTransferTimeout(kStallTimeoutMs);
  request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
  QNetworkReply* reply = network->get(request);
  new ResourceDownloadClient(reply, cache, std::move(cache_path));
}

ResourceDownloadClient::ResourceDownloadClient(QNetworkReply* reply,
                                               gameshell::ResourceCache* cache,
                                               std::string cache_path)
    : QObject(reply), reply_(reply), cache_(cache), cache_path_(std::move(cache_path)) {
  connect(reply_, &QIODevice::readyRead, this, &ResourceDownloadClient::OnDownloadData);
  connect(reply_, &QNetworkReply::finished, this, &ResourceDownloadClient::OnRequestComplete);
}

void ResourceDownloadClient::OnDownloadData() {
  GS_REQUIRE_UI_THREAD();
  download_buffer_.append(reply_->readAll());
}

void ResourceDownloadClient::OnRequestComplete() {
  GS_REQUIRE_UI_THREAD();
  download_buffer_.append(reply_->readAll());
  const int status = reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
  if (reply_->error() == QNetworkReply::NoError && status == 200) {
    cache_->Store(cache_path_, download_buffer_.toStdString());
  }
  // Takes this client with it.
  reply_->deleteLater();
}
