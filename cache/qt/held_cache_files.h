#pragma once

#include <QFile>
#include <QHash>
#include <QList>
#include <QObject>
#include <QUrl>

#include <memory>

namespace gameshell {

// Cached files opened when a request was redirected to the cache scheme, kept until the scheme
// handler serves that request. A download started for the same request may replace the file
// meanwhile; the request still gets the file as it was when the shell decided to serve it.
// Unclaimed files (the page dropped the request) are closed after a while.
// Thread: UI.
class HeldCacheFiles : public QObject {
  Q_OBJECT

 public:
  static constexpr int kUnclaimedCloseMs = 30000;

  HeldCacheFiles() = default;

  void Hold(const QUrl& cache_url, std::shared_ptr<QFile> file);
  // The oldest file held for the URL, or null.
  std::shared_ptr<QFile> Take(const QUrl& cache_url);

 private:
  QHash<QUrl, QList<std::shared_ptr<QFile>>> held_;
};

}  // namespace gameshell
