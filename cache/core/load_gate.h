#pragma once

#include <chrono>

#include "base/core/mutex.h"

// Whether the start's look at the index and at the files it names has run: until then no request
// is decided against the index. Open unless a start closed it. Shared: the writer thread opens it,
// the deciding thread waits at it; any thread.
namespace gameshell {

class LoadGate {
 public:
  void Close() EXCLUDES(mutex_);
  void Open() EXCLUDES(mutex_);
  // True once open, waiting at most `timeout`.
  bool WaitUntilOpen(std::chrono::milliseconds timeout) const EXCLUDES(mutex_);

 private:
  mutable Mutex mutex_;
  mutable CondVar opened_;
  bool closed_ GUARDED_BY(mutex_) = false;
};

}  // namespace gameshell
