#include "cache/cached_resource_handler.h"

#include <QFile>
#include <QWebEngineUrlRequestJob>

#include "cache/cache_paths.h"
#include "cache/cache_scheme.h"
#include "cache/resource_cache.h"
#include "cache/resource_request_interceptor.h"
#include "client/ui_thread.h"

CachedResourceHandler::CachedResourceHandler(ResourceRequestInterceptor* interceptor,
                                             QObject* parent)
    : QWebEngineUrlSchemeHandler(parent), interceptor_(interceptor) {}

void CachedResourceHandler::requestStarted(QWebEngineUrlRequestJob* job) {
  GS_REQUIRE_UI_THREAD();
  const QUrl url = job->requestUrl();
  const std::string path = gameshell::CachePathFromUrl(url.toEncoded().toStdString());
  // Pages can ask for this scheme directly: the same rules as for any cached path apply.
  if (!gameshell::IsStorableCachePath(path)) {
    job->fail(QWebEngineUrlRequestJob::UrlInvalid);
    return;
  }
  std::shared_ptr<QFile> file = interceptor_->held_files()->Take(url);
  if (!file) {
    file = std::make_shared<QFile>(QString::fromUtf8(path));
    file->open(QIODevice::ReadOnly);
  }
  if (!file->isOpen() || file->size() == 0) {
    const QUrl network_url = cache_scheme::ToNetworkUrl(url);
    interceptor_->SendToNetworkOnce(network_url);
    job->redirect(network_url);
    return;
  }
  // The engine reads the device until the job is gone.
  connect(job, &QObject::destroyed, [file] {});
  job->reply(gameshell::ContentTypeForCachePath(path), file.get());
}
