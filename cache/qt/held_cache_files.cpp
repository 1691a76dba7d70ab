#include "cache/qt/held_cache_files.h"

#include <QTimer>

#include "base/qt/ui_thread.h"

namespace gameshell {

void HeldCacheFiles::Hold(const QUrl& cache_url, std::shared_ptr<QFile> file) {
  GS_REQUIRE_UI_THREAD();
  held_[cache_url].append(file);
  QTimer::singleShot(kUnclaimedCloseMs, this, [this, cache_url, weak = std::weak_ptr(file)] {
    std::shared_ptr<QFile> expired = weak.lock();
    auto it = held_.find(cache_url);
    if (!expired || it == held_.end()) {
      return;
    }
    it->removeOne(expired);
    if (it->isEmpty()) {
      held_.erase(it);
    }
  });
}

std::shared_ptr<QFile> HeldCacheFiles::Take(const QUrl& cache_url) {
  GS_REQUIRE_UI_THREAD();
  auto it = held_.find(cache_url);
  if (it == held_.end()) {
    return nullptr;
  }
  std::shared_ptr<QFile> file = it->takeFirst();
  if (it->isEmpty()) {
    held_.erase(it);
  }
  return file;
}

}  // namespace gameshell
