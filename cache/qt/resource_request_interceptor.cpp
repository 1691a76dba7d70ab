#include "cache/qt/resource_request_interceptor.h"

#include <QNetworkCookieJar>
#include <QWebEngineCookieStore>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestJob>

#include "app/core/browser_switches.h"
#include "cache/core/cache_paths.h"
#include "cache/core/resource_cache.h"
#include "cache/qt/cache_scheme.h"
#include "cache/qt/cached_resource_handler.h"
#include "cache/qt/resource_download_client.h"
#include "client/qt/ui_thread.h"

namespace {

QString DownloadKey(const std::string& cache_path, const std::string& token) {
  return QString::fromStdString(cache_path + '\n' + token);
}

}  // namespace

ResourceRequestInterceptor::ResourceRequestInterceptor(gameshell::ResourceCache* cache,
                                                       QWebEngineProfile* profile,
                                                       QObject* parent)
    : QWebEngineUrlRequestInterceptor(parent),
      cache_(cache),
      user_agent_(profile->httpUserAgent().toUtf8()) {
  // The engine's cookies, mirrored into the downloads' jar as they come and go.
  QNetworkCookieJar* jar = network_.cookieJar();
  QWebEngineCookieStore* store = profile->cookieStore();
  connect(store, &QWebEngineCookieStore::cookieAdded, jar,
          [jar](const QNetworkCookie& cookie) { jar->insertCookie(cookie); });
  connect(store, &QWebEngineCookieStore::cookieRemoved, jar,
          [jar](const QNetworkCookie& cookie) { jar->deleteCookie(cookie); });
  store->loadAllCookies();
}

ResourceRequestInterceptor::~ResourceRequestInterceptor() {
  for (Download& download : downloads_) {
    delete download.client;
  }
}

void ResourceRequestInterceptor::SendToNetwork(QWebEngineUrlRequestJob* job) {
  GS_REQUIRE_UI_THREAD();
  const QUrl network_url = cache_scheme::ToNetworkUrl(job->requestUrl());
  ++send_to_network_[network_url];
  job->redirect(network_url);
}

bool ResourceRequestInterceptor::WaitForDownload(QWebEngineUrlRequestJob* job) {
  GS_REQUIRE_UI_THREAD();
  const std::string url = cache_scheme::ToNetworkUrl(job->requestUrl()).toEncoded().toStdString();
  auto it = downloads_.find(
      DownloadKey(gameshell::CachePathFromUrl(url), gameshell::VersionFromUrl(url)));
  if (it == downloads_.end() || !it->answers) {
    return false;
  }
  it->waiting.append(job);
  return true;
}

void ResourceRequestInterceptor::JoinOrStartDownload(const QUrl& url,
                                                     const QUrl& referer,
                                                     const std::string& cache_path,
                                                     const std::string& token) {
  const QString key = DownloadKey(cache_path, token);
  if (downloads_.contains(key)) {
    return;
  }
  Download& download = downloads_[key];
  download.cache_path = cache_path;
  download.client = new ResourceDownloadClient(&network_, cache_, url, referer, user_agent_,
                                               cache_path, token, this);
  connect(download.client, &ResourceDownloadClient::Finished, this,
          [this, key](bool stored) { OnDownloadFinished(key, stored); });
  connect(download.client, &ResourceDownloadClient::WillNotAnswer, this, [this, key] {
    if (auto it = downloads_.find(key); it != downloads_.end()) {
      it->answers = false;
      SendWaitingToNetwork(*it);
    }
  });
}

void ResourceRequestInterceptor::SendWaitingToNetwork(Download& download) {
  const QList<QPointer<QWebEngineUrlRequestJob>> waiting = std::exchange(download.waiting, {});
  for (const QPointer<QWebEngineUrlRequestJob>& job : waiting) {
    if (job) {
      SendToNetwork(job);
    }
  }
}

void ResourceRequestInterceptor::OnDownloadFinished(const QString& key, bool stored) {
  GS_REQUIRE_UI_THREAD();
  Download download = downloads_.take(key);
  download.client->deleteLater();
  if (!stored) {
    SendWaitingToNetwork(download);
    return;
  }
  for (const QPointer<QWebEngineUrlRequestJob>& job : download.waiting) {
    if (job) {  // else the page gave up on it
      CachedResourceHandler::ServeFile(job, download.cache_path, this);
    }
  }
}

void ResourceRequestInterceptor::interceptRequest(QWebEngineUrlRequestInfo& info) {
  GS_REQUIRE_UI_THREAD();
  const QUrl url = info.requestUrl();
  const std::string url_text = url.toEncoded().toStdString();
  // Pages run without web security, so any of them could drive the engine through its debugging
  // endpoint (WebSocket handshakes included): that port is for tools outside the pages only.
  if (gameshell::IsRemoteDebuggingUrl(url_text)) {
    info.block(true);
    return;
  }
  // A request the cache handed back goes to the network untouched.
  if (auto it = send_to_network_.find(url); it != send_to_network_.end()) {
    if (--*it == 0) {
      send_to_network_.erase(it);
    }
    return;
  }
  // Only resources fetched with GET: a download cannot repeat another method's body, and a
  // navigation served from the cache would change the page's own address.
  if (info.requestMethod() != "GET" ||
      info.resourceType() == QWebEngineUrlRequestInfo::ResourceTypeMainFrame ||
      info.resourceType() == QWebEngineUrlRequestInfo::ResourceTypeSubFrame) {
    return;
  }
  const gameshell::RequestDecision decision = cache_->Decide(url_text);
  if (decision.action == gameshell::RequestAction::kPassThrough) {
    return;
  }
  // A size check only; the file itself is read where the engine reads the answer.
  const bool on_disk =
      decision.disk_copy_usable && decision.stored_size && *decision.stored_size > 0;
  const QUrl cache_url = cache_scheme::ToCacheUrl(url);
  if (decision.action == gameshell::RequestAction::kStoredIsCurrent) {
    if (on_disk) {
      info.redirect(cache_url);
    }
    return;
  }
  if (on_disk) {
    // The download may replace the file before this request is served; this request is to get
    // the older copy. Past the open-file limit, it gets whichever copy is there when served.
    std::shared_ptr<QFile> file = serving_files_.Open(decision.cache_path);
    if (file && file->isOpen()) {
      held_files_.Hold(cache_url, std::move(file));
    }
  }
  JoinOrStartDownload(url, info.firstPartyUrl(), decision.cache_path, decision.token);
  info.redirect(cache_url);
}
