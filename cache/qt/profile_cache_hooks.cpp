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
  for (auto& [key, resource] : resources_) {
    resource.download.reset();
  }
  for (const auto& [key, resource] : resources_) {
    if (!resource.kept_body.isEmpty()) {
      QFile::remove(resource.kept_body);
    }
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
  if (decision.action == RequestAction::kPassThrough) {
    return;
  }
  if (auto it = resources_.find(decision.key);
      decision.action == RequestAction::kDownload && it != resources_.end() && it->second.failed) {
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
  if (auto it = resources_.find(decision.key); (it == resources_.end() || !it->second.InFlight()) &&
                                               downloads_in_flight_ >= kMaxDownloadsInFlight) {
    // Each download holds a connection and, once its body comes, a file: past the cap (a page
    // asking for thousands of addresses at once) the page fetches the rest itself.
    return;
  }
  if (on_disk) {
    // The download may replace the file before this request is served; this request is to get
    // the older copy. Past the open-file limit, it gets whichever copy is there when served.
    std::shared_ptr<QFile> file = serving_files_.Open(decision.key.path);
    if (file && file->isOpen()) {
      HoldOlderCopy(decision.key, cache_url, std::move(file));
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
  ResourceKey key = ResourceKeyFromUrl(cache_scheme::ToNetworkUrl(url).toEncoded().toStdString(),
                                       cache_->hosts().LoginOverHttps());
  if (!IsStorableCachePath(key.path)) {
    job->fail(QWebEngineUrlRequestJob::UrlInvalid);
    return;
  }
  if (std::shared_ptr<QFile> held = TakeOlderCopy(key, url)) {
    Reply(job, std::move(held), key.path);
    return;
  }
  if (auto it = resources_.find(key); it != resources_.end()) {
    Resource& resource = it->second;
    if (resource.InFlight() && !resource.answered) {
      resource.waiting.append(job);
      return;
    }
    if (!resource.kept_body.isEmpty()) {
      Serve(job, resource.kept_body.toStdString(), key.path);
      return;
    }
    // Sent here to wait for a download that has failed since: the file on disk is not this
    // version.
    if (resource.failed) {
      SendToNetwork(job);
      return;
    }
  }
  Serve(job, key.path, key.path);
}

void ProfileCacheHooks::JoinOrStartDownload(const QUrl& url,
                                            const QUrl& referer,
                                            const ResourceKey& key) {
  Resource& resource = resources_[key];
  if (resource.InFlight()) {
    return;
  }
  resource.answered = false;
  resource.download =
      std::make_unique<ResourceDownloadClient>(&network_, cache_, url, referer, user_agent_, key);
  ++downloads_in_flight_;
  ResourceDownloadClient* download = resource.download.get();
  connect(download, &ResourceDownloadClient::Finished, this,
          [this, key](bool stored, const QString& kept) { OnDownloadFinished(key, stored, kept); });
  connect(download, &ResourceDownloadClient::WillNotAnswer, this,
          [this, key] { Answer(key, false); });
}

void ProfileCacheHooks::Answer(const ResourceKey& key, bool stored, const QString& kept) {
  auto it = resources_.find(key);
  if (it == resources_.end() || !it->second.InFlight() || it->second.answered) {
    if (!kept.isEmpty()) {
      QFile::remove(kept);
    }
    return;
  }
  Resource& resource = it->second;
  resource.answered = true;
  if (stored) {
    resource.failed = false;
  } else if (kept.isEmpty()) {
    resource.failed = true;
  }
  const QList<QPointer<QWebEngineUrlRequestJob>> waiting = std::move(resource.waiting);
  for (const QPointer<QWebEngineUrlRequestJob>& job : waiting) {
    if (!job) {  // the page gave up on it
      continue;
    }
    if (stored) {
      Serve(job, key.path, key.path);
    } else if (!kept.isEmpty()) {
      Serve(job, kept.toStdString(), key.path);
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
  auto it = resources_.find(key);
  if (it == resources_.end() || !it->second.InFlight()) {
    return;
  }
  // Emitted from inside the download: it goes once its signal has returned.
  it->second.download.release()->deleteLater();
  --downloads_in_flight_;
  DropIfDone(key);
}

void ProfileCacheHooks::DropIfDone(const ResourceKey& key) {
  if (auto it = resources_.find(key); it != resources_.end() && it->second.Done()) {
    resources_.erase(it);
  }
}

void ProfileCacheHooks::KeepBody(const ResourceKey& key, const QString& kept) {
  // A request may still be on its way here (redirected before the download ended); opened copies
  // stay readable once the file is gone.
  Resource& resource = resources_[key];
  if (!resource.kept_body.isEmpty()) {
    QFile::remove(resource.kept_body);
  }
  resource.kept_body = kept;
  QTimer::singleShot(kKeptBodyMs, this, [this, key, kept] {
    auto it = resources_.find(key);
    if (it != resources_.end() && it->second.kept_body == kept) {
      it->second.kept_body.clear();
      DropIfDone(key);
    }
    QFile::remove(kept);
  });
}

void ProfileCacheHooks::HoldOlderCopy(const ResourceKey& key,
                                      const QUrl& cache_url,
                                      std::shared_ptr<QFile> file) {
  resources_[key].held[cache_url].append(file);
  QTimer::singleShot(kUnclaimedCloseMs, this, [this, key, cache_url, weak = std::weak_ptr(file)] {
    std::shared_ptr<QFile> unclaimed = weak.lock();
    auto it = resources_.find(key);
    if (!unclaimed || it == resources_.end()) {
      return;
    }
    auto held = it->second.held.find(cache_url);
    if (held != it->second.held.end() && held->removeOne(unclaimed) && held->isEmpty()) {
      it->second.held.erase(held);
    }
    DropIfDone(key);
  });
}

std::shared_ptr<QFile> ProfileCacheHooks::TakeOlderCopy(const ResourceKey& key,
                                                        const QUrl& cache_url) {
  auto it = resources_.find(key);
  if (it == resources_.end()) {
    return nullptr;
  }
  auto held = it->second.held.find(cache_url);
  if (held == it->second.held.end()) {
    return nullptr;
  }
  std::shared_ptr<QFile> file = held->takeFirst();
  if (held->isEmpty()) {
    it->second.held.erase(held);
  }
  DropIfDone(key);
  return file;
}

void ProfileCacheHooks::Serve(QWebEngineUrlRequestJob* job,
                              const std::string& file_path,
                              const std::string& cache_path) {
  std::shared_ptr<QFile> file = serving_files_.Open(file_path);
  if (!file) {
    serving_files_.WhenAvailable(
        [this, job = QPointer<QWebEngineUrlRequestJob>(job), file_path, cache_path] {
          if (job) {
            Serve(job, file_path, cache_path);
          }
        });
    return;
  }
  Reply(job, std::move(file), cache_path);
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
