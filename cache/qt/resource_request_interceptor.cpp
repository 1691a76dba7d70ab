#include "cache/qt/resource_request_interceptor.h"

#include <QFile>
#include <QNetworkCookieJar>
#include <QWebEngineCookieStore>
#include <QWebEngineProfile>

#include "base/core/remote_debugging_port.h"
#include "base/qt/ui_thread.h"
#include "cache/core/resource_cache.h"
#include "cache/qt/cache_scheme.h"
#include "cache/qt/cached_responses.h"
#include "cache/qt/network_bypass.h"
#include "cache/qt/resource_download_client.h"

ResourceRequestInterceptor::ResourceRequestInterceptor(gameshell::ResourceCache* cache,
                                                       QWebEngineProfile* profile,
                                                       CachedResponses* responses,
                                                       NetworkBypass* bypass)
    : cache_(cache),
      responses_(responses),
      bypass_(bypass),
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

ResourceRequestInterceptor::~ResourceRequestInterceptor() = default;

void ResourceRequestInterceptor::JoinOrStartDownload(const QUrl& url,
                                                     const QUrl& referer,
                                                     const gameshell::ResourceKey& key) {
  auto [it, started] = downloads_.try_emplace(key);
  if (!started) {
    return;
  }
  it->second.client =
      std::make_unique<ResourceDownloadClient>(&network_, cache_, url, referer, user_agent_, key);
  responses_->DownloadStarted(key);
  ResourceDownloadClient* client = it->second.client.get();
  connect(client, &ResourceDownloadClient::Finished, this,
          [this, key](bool stored, const QString& kept) { OnDownloadFinished(key, stored, kept); });
  connect(client, &ResourceDownloadClient::WillNotAnswer, this,
          [this, key] { Answer(key, false); });
}

void ResourceRequestInterceptor::Answer(const gameshell::ResourceKey& key,
                                        bool stored,
                                        const QString& kept) {
  auto it = downloads_.find(key);
  if (it == downloads_.end() || it->second.answered) {
    if (!kept.isEmpty()) {
      QFile::remove(kept);
    }
    return;
  }
  it->second.answered = true;
  responses_->DownloadAnswered(key, stored, kept);
}

void ResourceRequestInterceptor::OnDownloadFinished(const gameshell::ResourceKey& key,
                                                    bool stored,
                                                    const QString& kept) {
  GS_REQUIRE_UI_THREAD();
  Answer(key, stored, kept);
  auto it = downloads_.find(key);
  if (it == downloads_.end()) {
    return;
  }
  // Emitted from inside the client: it goes once its signal has returned.
  it->second.client.release()->deleteLater();
  downloads_.erase(it);
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
  if (bypass_->Take(url)) {
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
      decision.disk_copy_usable && decision.stored_stamp && decision.stored_stamp->size > 0;
  const QUrl cache_url = cache_scheme::ToCacheUrl(url);
  if (decision.action == gameshell::RequestAction::kStoredIsCurrent) {
    if (on_disk) {
      info.redirect(cache_url);
    }
    return;
  }
  if (on_disk) {
    // The download may replace the file before this request is served; this request is to get
    // the older copy.
    responses_->HoldCurrentFile(cache_url, decision.key.path);
  }
  JoinOrStartDownload(url, info.firstPartyUrl(), decision.key);
  info.redirect(cache_url);
}
