#include "cache/qt/profile_cache_hooks.h"

#include <QFile>
#include <QNetworkCookieJar>
#include <QTimer>
#include <QWebEngineCookieStore>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlSchemeHandler>

#include "base/core/remote_debugging_port.h"
#include "base/qt/ui_thread.h"
#include "cache/core/cache_files.h"
#include "cache/core/resource_cache.h"
#include "cache/qt/cache_scheme.h"
#include "cache/qt/resource_download_client.h"

namespace gameshell {

// The engine's two doors into the hooks: they only pass the call on.
class ProfileCacheHooks::Interceptor : public QWebEngineUrlRequestInterceptor {
 public:
  explicit Interceptor(ProfileCacheHooks* hooks) : hooks_(hooks) {}
  void interceptRequest(QWebEngineUrlRequestInfo& info) override { hooks_->OnPageRequest(info); }

 private:
  ProfileCacheHooks* const hooks_;
};

class ProfileCacheHooks::SchemeHandler : public QWebEngineUrlSchemeHandler {
 public:
  explicit SchemeHandler(ProfileCacheHooks* hooks) : hooks_(hooks) {}
  void requestStarted(QWebEngineUrlRequestJob* job) override { hooks_->OnCacheRequest(job); }

 private:
  ProfileCacheHooks* const hooks_;
};

ProfileCacheHooks::ProfileCacheHooks(ResourceCache* cache, QWebEngineProfile* profile)
    : cache_(cache),
      profile_(profile),
      user_agent_(profile->httpUserAgent().toUtf8()),
      scheme_handler_(std::make_unique<SchemeHandler>(this)),
      interceptor_(std::make_unique<Interceptor>(this)) {
  GS_REQUIRE_UI_THREAD();
  clock_.start();
  profile_->installUrlSchemeHandler(cache_scheme::kHttp, scheme_handler_.get());
  profile_->installUrlSchemeHandler(cache_scheme::kHttps, scheme_handler_.get());
  // The engine's cookies, mirrored into the downloads' jar as they come and go.
  QNetworkCookieJar* jar = network_.cookieJar();
  QWebEngineCookieStore* store = profile->cookieStore();
  connect(store, &QWebEngineCookieStore::cookieAdded, jar,
          [jar](const QNetworkCookie& cookie) { jar->insertCookie(cookie); });
  connect(store, &QWebEngineCookieStore::cookieRemoved, jar,
          [jar](const QNetworkCookie& cookie) { jar->deleteCookie(cookie); });
  store->loadAllCookies();
}

ProfileCacheHooks::~ProfileCacheHooks() {
  GS_REQUIRE_UI_THREAD();
  profile_->removeUrlSchemeHandler(scheme_handler_.get());
  // The downloads go before the files and requests they answer into.
  in_flight_.clear();
  for (const auto& [key, kept] : kept_bodies_) {
    QFile::remove(kept);
  }
}

QWebEngineUrlRequestInterceptor* ProfileCacheHooks::request_interceptor() const {
  return interceptor_.get();
}

void ProfileCacheHooks::OnPageRequest(QWebEngineUrlRequestInfo& info) {
  GS_REQUIRE_UI_THREAD();
  const QUrl url = info.requestUrl();
  const std::string url_text = url.toEncoded().toStdString();
  // Pages run without web security, so any of them could drive the engine through its debugging
  // endpoint (WebSocket handshakes included): that port is for tools outside the pages only.
  if (IsRemoteDebuggingUrl(url_text)) {
    info.block(true);
    return;
  }
  // A request the cache handed back goes to the network untouched.
  if (handed_back_.Arrived(url_text)) {
    return;
  }
  // Only resources fetched with GET: a download cannot repeat another method's body, and a
  // navigation served from the cache would change the page's own address.
  if (info.requestMethod() != "GET" ||
      info.resourceType() == QWebEngineUrlRequestInfo::ResourceTypeMainFrame ||
      info.resourceType() == QWebEngineUrlRequestInfo::ResourceTypeSubFrame) {
    return;
  }
  const RequestDecision decision = cache_->Decide(url_text);
  if (decision.action == RequestAction::kPassThrough ||
      (decision.action == RequestAction::kDownload && failed_.contains(decision.key))) {
    return;
  }
  // A size check only; the file itself is read where the engine reads the answer.
  const bool on_disk = decision.disk_copy_usable && decision.stored_stamp &&
                       IsServableFileSize(decision.stored_stamp->size);
  const QUrl cache_url = cache_scheme::ToCacheUrl(url);
  if (decision.action == RequestAction::kStoredIsCurrent) {
    if (on_disk) {
      SendToCache(info, cache_url);
    }
    return;
  }
  if (on_disk) {
    // The download may replace the file before this request is served; this request is to get
    // the older copy. Past the open-file limit, it gets whichever copy is there when served.
    std::shared_ptr<QFile> file = serving_files_.Open(decision.key.path);
    if (file && file->isOpen()) {
      held_files_.Hold(cache_url, std::move(file));
    }
  }
  JoinOrStartDownload(url, info.firstPartyUrl(), decision.key);
  SendToCache(info, cache_url);
}

void ProfileCacheHooks::SendToCache(QWebEngineUrlRequestInfo& info, const QUrl& cache_url) {
  sent_to_cache_.Expect(cache_url.toEncoded().toStdString(), clock_.elapsed());
  info.redirect(cache_url);
}

void ProfileCacheHooks::OnCacheRequest(QWebEngineUrlRequestJob* job) {
  GS_REQUIRE_UI_THREAD();
  const QUrl url = job->requestUrl();
  // Any page can ask for this scheme directly, with any host and any version: only the cache's
  // own redirects are answered, each once.
  if (!sent_to_cache_.Arrived(url.toEncoded().toStdString())) {
    job->fail(QWebEngineUrlRequestJob::RequestDenied);
    return;
  }
  ResourceKey key = ResourceKeyFromUrl(cache_scheme::ToNetworkUrl(url).toEncoded().toStdString());
  if (!IsStorableCachePath(key.path)) {
    job->fail(QWebEngineUrlRequestJob::UrlInvalid);
    return;
  }
  if (std::shared_ptr<QFile> held = held_files_.Take(url)) {
    Reply(job, std::move(held), key.path);
    return;
  }
  if (auto it = in_flight_.find(key); it != in_flight_.end() && !it->second.answered) {
    it->second.waiting.append(job);
    return;
  }
  if (auto it = kept_bodies_.find(key); it != kept_bodies_.end()) {
    auto file = std::make_shared<QFile>(it->second);
    file->open(QIODevice::ReadOnly);
    Reply(job, std::move(file), key.path);
    return;
  }
  // Sent here to wait for a download that has failed since: the file on disk is not this version.
  if (failed_.contains(key)) {
    SendToNetwork(job);
    return;
  }
  Serve(job, key.path);
}

void ProfileCacheHooks::JoinOrStartDownload(const QUrl& url,
                                            const QUrl& referer,
                                            const ResourceKey& key) {
  auto [it, started] = in_flight_.try_emplace(key);
  if (!started) {
    return;
  }
  it->second.download =
      std::make_unique<ResourceDownloadClient>(&network_, cache_, url, referer, user_agent_, key);
  ResourceDownloadClient* download = it->second.download.get();
  connect(download, &ResourceDownloadClient::Finished, this,
          [this, key](bool stored, const QString& kept) { OnDownloadFinished(key, stored, kept); });
  connect(download, &ResourceDownloadClient::WillNotAnswer, this,
          [this, key] { Answer(key, false); });
}

void ProfileCacheHooks::Answer(const ResourceKey& key, bool stored, const QString& kept) {
  auto it = in_flight_.find(key);
  if (it == in_flight_.end() || it->second.answered) {
    if (!kept.isEmpty()) {
      QFile::remove(kept);
    }
    return;
  }
  it->second.answered = true;
  if (stored) {
    failed_.erase(key);
  } else if (kept.isEmpty()) {
    failed_.insert(key);
  }
  const QList<QPointer<QWebEngineUrlRequestJob>> waiting = std::move(it->second.waiting);
  for (const QPointer<QWebEngineUrlRequestJob>& job : waiting) {
    if (!job) {  // the page gave up on it
      continue;
    }
    if (stored) {
      Serve(job, key.path);
    } else if (!kept.isEmpty()) {
      auto file = std::make_shared<QFile>(kept);
      file->open(QIODevice::ReadOnly);
      Reply(job, std::move(file), key.path);
    } else {
      SendToNetwork(job);
    }
  }
  if (!kept.isEmpty()) {
    KeepBody(key, kept);
  }
}

void ProfileCacheHooks::OnDownloadFinished(const ResourceKey& key,
                                           bool stored,
                                           const QString& kept) {
  GS_REQUIRE_UI_THREAD();
  Answer(key, stored, kept);
  auto it = in_flight_.find(key);
  if (it == in_flight_.end()) {
    return;
  }
  // Emitted from inside the download: it goes once its signal has returned.
  it->second.download.release()->deleteLater();
  in_flight_.erase(it);
}

void ProfileCacheHooks::KeepBody(const ResourceKey& key, const QString& kept) {
  // A request may still be on its way here (redirected before the download ended); opened copies
  // stay readable once the file is gone.
  if (auto [old, added] = kept_bodies_.try_emplace(key, kept); !added) {
    QFile::remove(old->second);
    old->second = kept;
  }
  QTimer::singleShot(kKeptBodyMs, this, [this, key, kept] {
    auto it = kept_bodies_.find(key);
    if (it != kept_bodies_.end() && it->second == kept) {
      kept_bodies_.erase(it);
    }
    QFile::remove(kept);
  });
}

void ProfileCacheHooks::Serve(QWebEngineUrlRequestJob* job, const std::string& path) {
  std::shared_ptr<QFile> file = serving_files_.Open(path);
  if (!file) {
    serving_files_.WhenAvailable([this, job = QPointer<QWebEngineUrlRequestJob>(job), path] {
      if (job) {
        Serve(job, path);
      }
    });
    return;
  }
  Reply(job, std::move(file), path);
}

void ProfileCacheHooks::Reply(QWebEngineUrlRequestJob* job,
                              std::shared_ptr<QFile> file,
                              const std::string& path) {
  if (!file->isOpen() || !IsServableFileSize(file->size())) {
    SendToNetwork(job);
    return;
  }
  // The engine reads the device until the job is gone.
  QObject::connect(job, &QObject::destroyed, [file] {});
  job->reply(ContentTypeForCachePath(path), file.get());
}

void ProfileCacheHooks::SendToNetwork(QWebEngineUrlRequestJob* job) {
  const QUrl network_url = cache_scheme::ToNetworkUrl(job->requestUrl());
  handed_back_.Expect(network_url.toEncoded().toStdString(), clock_.elapsed());
  job->redirect(network_url);
}

}  // namespace gameshell
