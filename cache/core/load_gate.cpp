#include "cache/core/load_gate.h"

namespace gameshell {

void LoadGate::Close() {
  MutexLock lock(&mutex_);
  closed_ = true;
}

void LoadGate::Open() {
  MutexLock lock(&mutex_);
  closed_ = false;
  opened_.SignalAll();
}

bool LoadGate::WaitUntilOpen(std::chrono::milliseconds timeout) const {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  MutexLock lock(&mutex_);
  while (closed_) {
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) {
      return false;
    }
    opened_.WaitFor(mutex_, deadline - now);
  }
  return true;
}

}  // namespace gameshell
