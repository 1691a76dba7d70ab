#include "cache/resource_request_interceptor.h"

#include <QNetworkCookieJar>
#include <QWebEngineCookieStore>
#include <QWebEngineProfile>

#include "app/browser_switches.h"
#include "cache/cache_scheme.h"
#include "cache/resource_cache.h"
#include "cache/resource_download_client.h"
#include "client/ui_thread.h"

ResourceRequestInterceptor::ResourceRequestInterceptor(gameshell::ResourceCache* cache,
                                                       QWebEngineProfile* profile,
                                                       QObject* parent)
    : QWebEngineUrlRequestInterceptor(parent),
      cache_(cache),
      user_agent_(profile->httpUserAgent().toUtf8()) {
  network_.setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
  // The engine's cookies, mirrored into the downloads' jar as they come and go.
  QNetworkCookieJar* jar = network_.cookieJar();
  QWebEngineCookieStore* store = profile->cookieStore();
  connect(store, &QWebEngineCookieStore::cookieAdded, jar,
          [jar](const QNetworkCookie& cookie) { jar->insertCookie(cookie); });
  connect(store, &QWebEngineCookieStore::cookieRemoved, jar,
          [jar](const QNetworkCookie& cookie) { jar->deleteCookie(cookie); });
  store->loadAllCookies();
}

void ResourceRequestInterceptor::SendToNetworkOnce(const QUrl& url) {
  GS_REQUIRE_UI_THREAD();
  send_to_network_.insert(url);
}

void ResourceRequestInterceptor::interceptRequest(QWebEngineUrlRequestInfo& info) {
  GS_REQUIRE_UI_THREAD();
  const QUrl url = info.requestUrl();
  // Pages run without web security, so any of them could drive the engine through its debugging
  // endpoint (WebSocket handshakes included): that port is for tools outside the pages only.
  if (gameshell::IsRemoteDebuggingUrl(url.toEncoded().toStdString())) {
    info.block(true);
    return;
  }
  // Only resources fetched with GET: a download cannot repeat another method's body, and a
  // navigation served from the cache would change the page's own address.
  if (info.requestMethod() != "GET" ||
      info.resourceType() == QWebEngineUrlRequestInfo::ResourceTypeMainFrame ||
      info.resourceType() == QWebEngineUrlRequestInfo::ResourceTypeSubFrame) {
    return;
  }
  const gameshell::RequestDecision decision = cache_->Decide(url.toEncoded().toStdString());
  if (decision.action == gameshell::RequestAction::kPassThrough) {
    return;
  }
  const bool to_network = send_to_network_.remove(url);
  // A size check only; the file itself is read where the engine reads the answer.
  std::optional<uint64_t> size = cache_->StoredFileSize(decision.cache_path);
  const bool serve_from_disk = !to_network && size && *size > 0;
  if (serve_from_disk) {
    const QUrl cache_url = cache_scheme::ToCacheUrl(url);
    if (decision.action == gameshell::RequestAction::kDownload) {
      // The download about to start may replace the file before the request is served; this
      // request is to get the older copy.
      auto file = std::make_shared<QFile>(QString::fromStdString(decision.cache_path));
      if (file->open(QIODevice::ReadOnly)) {
        held_files_.Hold(cache_url, std::move(file));
      }
    }
    info.redirect(cache_url);
  }
  if (decision.action == gameshell::RequestAction::kDownload) {
    ResourceDownloadClient::Start(&network_, cache_, url, info.firstPartyUrl(), user_agent_,
                                  decision.cache_path);
  }
}
