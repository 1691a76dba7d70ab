#include "cache/qt/serving_files.h"

#include <QTimer>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "base/qt/ui_thread.h"
#include "platform/file_system.h"

namespace gameshell {

ServingFiles::~ServingFiles() {
  *self_ = nullptr;
}

std::shared_ptr<QFile> ServingFiles::Open(const std::string& path) {
  GS_REQUIRE_UI_THREAD();
  if (open_ >= kMaxOpen) {
    return nullptr;
  }
  ++open_;
  std::weak_ptr<ServingFiles*> owner = self_;
  std::shared_ptr<QFile> file(new QFile(QString::fromStdString(path)), [owner](QFile* closing) {
    delete closing;
    if (std::shared_ptr<ServingFiles*> alive = owner.lock(); alive && *alive) {
      (*alive)->Release();
    }
  });
  // Opened by the cache's file system, which never follows a link below the cache root.
  const int fd = DefaultFileSystem().OpenForReading(path);
  if (fd >= 0 && !file->open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
#ifdef _WIN32
    ::_close(fd);
#else
    ::close(fd);
#endif
  }
  return file;
}

void ServingFiles::WhenAvailable(std::function<void()> serve) {
  GS_REQUIRE_UI_THREAD();
  waiting_.push_back(std::move(serve));
}

void ServingFiles::Release() {
  --open_;
  if (waiting_.empty() || pump_posted_) {
    return;
  }
  // The file closes while the engine tears a request down: serve the next ones from the loop.
  pump_posted_ = true;
  std::weak_ptr<ServingFiles*> owner = self_;
  QTimer::singleShot(0, [owner] {
    if (std::shared_ptr<ServingFiles*> alive = owner.lock(); alive && *alive) {
      (*alive)->Pump();
    }
  });
}

void ServingFiles::Pump() {
  pump_posted_ = false;
  // A waiting request whose page gave up opens nothing; the loop goes on to the next.
  while (open_ < kMaxOpen && !waiting_.empty()) {
    std::function<void()> next = std::move(waiting_.front());
    waiting_.pop_front();
    next();
  }
}

}  // namespace gameshell
