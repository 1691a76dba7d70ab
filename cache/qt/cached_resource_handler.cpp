#include "cache/qt/cached_resource_handler.h"

#include <QFile>
#include <QPointer>
#include <QWebEngineUrlRequestJob>

#include "cache/core/cache_paths.h"
#include "cache/core/resource_cache.h"
#include "cache/qt/cache_scheme.h"
#include "cache/qt/resource_request_interceptor.h"
#include "cache/qt/serving_files.h"
#include "client/qt/ui_thread.h"

CachedResourceHandler::CachedResourceHandler(ResourceRequestInterceptor* interceptor,
                                             QObject* parent)
    : QWebEngineUrlSchemeHandler(parent), interceptor_(interceptor) {}

namespace {

void Reply(QWebEngineUrlRequestJob* job,
           std::shared_ptr<QFile> file,
           const std::string& cache_path,
           ResourceRequestInterceptor* interceptor) {
  if (!file->isOpen() || file->size() == 0) {
    interceptor->SendToNetwork(job);
    return;
  }
  // The engine reads the device until the job is gone.
  QObject::connect(job, &QObject::destroyed, [file] {});
  job->reply(gameshell::ContentTypeForCachePath(cache_path), file.get());
}

}  // namespace

void CachedResourceHandler::ServeFile(QWebEngineUrlRequestJob* job,
                                      const std::string& cache_path,
                                      ResourceRequestInterceptor* interceptor) {
  GS_REQUIRE_UI_THREAD();
  std::shared_ptr<QFile> file = interceptor->serving_files()->Open(cache_path);
  if (!file) {
    interceptor->serving_files()->WhenAvailable(
        [job = QPointer<QWebEngineUrlRequestJob>(job), cache_path, interceptor] {
          if (job) {
            ServeFile(job, cache_path, interceptor);
          }
        });
    return;
  }
  Reply(job, std::move(file), cache_path, interceptor);
}

void CachedResourceHandler::requestStarted(QWebEngineUrlRequestJob* job) {
  GS_REQUIRE_UI_THREAD();
  const QUrl url = job->requestUrl();
  const std::string path = gameshell::CachePathFromUrl(url.toEncoded().toStdString());
  // Pages can ask for this scheme directly: the same rules as for any cached path apply.
  if (!gameshell::IsStorableCachePath(path)) {
    job->fail(QWebEngineUrlRequestJob::UrlInvalid);
    return;
  }
  if (std::shared_ptr<QFile> held = interceptor_->held_files()->Take(url)) {
    Reply(job, std::move(held), path, interceptor_);
    return;
  }
  if (interceptor_->WaitForDownload(job)) {
    return;
  }
  ServeFile(job, path, interceptor_);
}
