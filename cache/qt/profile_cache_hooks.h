#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QNetworkAccessManager>
#include <QObject>
#include <QPointer>
#include <QUrl>

#include <memory>
#include <unordered_map>

#include "cache/core/cache_paths.h"
#include "cache/core/expected_requests.h"
#include "cache/qt/serving_files.h"

class QFile;
class QWebEngineProfile;
class QWebEngineUrlRequestInfo;
class QWebEngineUrlRequestInterceptor;
class QWebEngineUrlRequestJob;

namespace gameshell {

class ResourceDownloadClient;

class ResourceCache;

// The resource cache hooked into a profile's requests for the object's lifetime, and the one owner
// of a request's way through it. Each request of a page is seen before it is made
// (OnPageRequest) and gets the cache's decision: it passes through; it is served from disk, by a
// redirect to the internal cache scheme whose requests come back here (OnCacheRequest); or the
// resource is fetched once, in the shell's own download, which every request for it joins. A
// request with an older file on disk gets that file this once; one without waits for the
// download and gets its body, or, when the download did not complete, is sent back to the
// network as if the shell were not there, so the page sees the origin's own answer. A file that
// is missing, empty or unreadable when served sends its request back to the network too.
// Thread: UI (where this engine calls interceptors and scheme handlers; the engine reads an
// answered file on its own thread).
class ProfileCacheHooks : public QObject {
  Q_OBJECT

 public:
  // Downloads send the profile's user agent and cookies, as the page's own requests do. `cache`
  // and `profile` must outlive this object.
  ProfileCacheHooks(ResourceCache* cache, QWebEngineProfile* profile);
  // Unhooks; downloads still running are dropped, kept bodies removed.
  ~ProfileCacheHooks() override;

  // The profile's to call: whoever installs interceptors on the profile passes requests on to it.
  QWebEngineUrlRequestInterceptor* request_interceptor() const;

 private:
  class Interceptor;
  class SchemeHandler;

  // One version of a resource, from the request that starts its download to the last answer.
  struct Resource {
    // While it is being fetched; the requests waiting for its answer.
    std::unique_ptr<ResourceDownloadClient> download;
    // Once answered, later requests are served from disk (or the kept body).
    bool answered = false;
    QList<QPointer<QWebEngineUrlRequestJob>> waiting;
    // A body that could not be put in place, for the requests on their way to it when the
    // download ended; it goes after kKeptBodyMs.
    QString kept_body;
    // The download ended without storing anything: its requests go to the network this run, never
    // to a file on disk (another version's, perhaps a peer's) nor into another download (a
    // resource that redirects to itself would start one per hop for ever).
    bool failed = false;
    // The older copy on disk, opened for each request sent to the cache scheme while the download
    // runs: the download may replace the file before the request arrives, and the request is to
    // get the copy as it was when the shell decided. Per cache address, oldest first; closed after
    // kUnclaimedCloseMs when the page dropped the request.
    QHash<QUrl, QList<std::shared_ptr<QFile>>> held;

    bool InFlight() const { return download != nullptr; }
    bool Done() const { return !download && kept_body.isEmpty() && !failed && held.isEmpty(); }
  };
  static constexpr int kUnclaimedCloseMs = 30000;
  // As many as the files served at once.
  static constexpr int kMaxDownloadsInFlight = 256;

  void OnPageRequest(QWebEngineUrlRequestInfo& info);
  void OnCacheRequest(QWebEngineUrlRequestJob* job);

  void JoinOrStartDownload(const QUrl& url, const QUrl& referer, const ResourceKey& key);
  // The download's answer for the requests waiting on it: the stored file, the body kept in the
  // file `kept` (removed once they have it), or none (they go to the network).
  void Answer(const ResourceKey& key, bool stored, const QString& kept = QString());
  void OnDownloadFinished(const ResourceKey& key, bool stored, const QString& kept);
  void KeepBody(const ResourceKey& key, const QString& kept);
  void HoldOlderCopy(const ResourceKey& key, const QUrl& cache_url, std::shared_ptr<QFile> file);
  // The oldest copy held for the request, or null.
  std::shared_ptr<QFile> TakeOlderCopy(const ResourceKey& key, const QUrl& cache_url);
  // Forgets a resource once nothing of it is left.
  void DropIfDone(const ResourceKey& key);

  // Answers `job` with the file at `file_path` (the stored file of `cache_path`, or a body kept for
  // it) once one may be opened, or sends it to the network. Every file served counts against the
  // open-file limit.
  void Serve(QWebEngineUrlRequestJob* job,
             const std::string& file_path,
             const std::string& cache_path);
  void Reply(QWebEngineUrlRequestJob* job, std::shared_ptr<QFile> file, const std::string& path);
  void SendToNetwork(QWebEngineUrlRequestJob* job);
  // Redirects the page's request to the cache scheme, which answers only what was sent so.
  void SendToCache(QWebEngineUrlRequestInfo& info, const QUrl& cache_url);

  ResourceCache* const cache_;
  QWebEngineProfile* const profile_;
  const QByteArray user_agent_;
  QNetworkAccessManager network_;
  static constexpr int kKeptBodyMs = 10000;
  // Requests handed back to the network: the next request for each such URL goes out untouched,
  // once per hand-back.
  ExpectedRequests handed_back_;
  // Requests redirected to the cache scheme and not arrived there yet, per address: the scheme
  // answers these only, whoever else asks it for whatever address.
  ExpectedRequests sent_to_cache_;
  QElapsedTimer clock_;
  // Before the resources, whose held copies count against it.
  ServingFiles serving_files_;
  std::unordered_map<ResourceKey, Resource, ResourceKeyHash> resources_;
  int downloads_in_flight_ = 0;
  std::unique_ptr<SchemeHandler> scheme_handler_;
  std::unique_ptr<Interceptor> interceptor_;
};

}  // namespace gameshell
