#include "cache/qt/cached_resource_handler.h"

#include <QFile>
#include <QTimer>
#include <QWebEngineUrlRequestJob>

#include "base/qt/ui_thread.h"
#include "cache/core/resource_cache.h"
#include "cache/qt/cache_scheme.h"
#include "cache/qt/network_bypass.h"

CachedResourceHandler::CachedResourceHandler(NetworkBypass* bypass) : bypass_(bypass) {}

CachedResourceHandler::~CachedResourceHandler() {
  for (const auto& [key, kept] : kept_bodies_) {
    QFile::remove(kept);
  }
}

void CachedResourceHandler::requestStarted(QWebEngineUrlRequestJob* job) {
  GS_REQUIRE_UI_THREAD();
  const QUrl url = job->requestUrl();
  gameshell::ResourceKey key = gameshell::ResourceKeyFromUrl(url.toEncoded().toStdString());
  // Pages can ask for this scheme directly: the same rules as for any cached path apply.
  if (!gameshell::IsStorableCachePath(key.path)) {
    job->fail(QWebEngineUrlRequestJob::UrlInvalid);
    return;
  }
  if (std::shared_ptr<QFile> held = held_files_.Take(url)) {
    Reply(job, std::move(held), key.path);
    return;
  }
  if (auto it = downloads_.find(key); it != downloads_.end()) {
    it->second.append(job);
    return;
  }
  if (auto it = kept_bodies_.find(key); it != kept_bodies_.end()) {
    auto file = std::make_shared<QFile>(it->second);
    file->open(QIODevice::ReadOnly);
    Reply(job, std::move(file), key.path);
    return;
  }
  Serve(job, key.path);
}

void CachedResourceHandler::HoldCurrentFile(const QUrl& cache_url, const std::string& path) {
  GS_REQUIRE_UI_THREAD();
  // Past the open-file limit, the request gets whichever copy is there when served.
  std::shared_ptr<QFile> file = serving_files_.Open(path);
  if (file && file->isOpen()) {
    held_files_.Hold(cache_url, std::move(file));
  }
}

void CachedResourceHandler::DownloadStarted(const gameshell::ResourceKey& key) {
  GS_REQUIRE_UI_THREAD();
  downloads_.try_emplace(key);
}

void CachedResourceHandler::DownloadAnswered(const gameshell::ResourceKey& key,
                                             bool stored,
                                             const QString& kept) {
  GS_REQUIRE_UI_THREAD();
  auto it = downloads_.find(key);
  QList<QPointer<QWebEngineUrlRequestJob>> waiting;
  if (it != downloads_.end()) {
    waiting = std::move(it->second);
    downloads_.erase(it);
  }
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
    // A request may still be on its way here (redirected before the download ended); opened
    // copies stay readable once the file is gone.
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
}

void CachedResourceHandler::Serve(QWebEngineUrlRequestJob* job, const std::string& path) {
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

void CachedResourceHandler::Reply(QWebEngineUrlRequestJob* job,
                                  std::shared_ptr<QFile> file,
                                  const std::string& path) {
  if (!file->isOpen() || file->size() == 0) {
    SendToNetwork(job);
    return;
  }
  // The engine reads the device until the job is gone.
  QObject::connect(job, &QObject::destroyed, [file] {});
  job->reply(gameshell::ContentTypeForCachePath(path), file.get());
}

void CachedResourceHandler::SendToNetwork(QWebEngineUrlRequestJob* job) {
  const QUrl network_url = cache_scheme::ToNetworkUrl(job->requestUrl());
  bypass_->Add(network_url);
  job->redirect(network_url);
}
