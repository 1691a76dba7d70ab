#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "base/core/thread_annotations.h"

// A mutex and a condition variable that clang's thread-safety analysis knows (libstdc++'s carry
// no annotations), after LevelDB's port::Mutex and port::CondVar. Any thread.
namespace gameshell {

class CAPABILITY("mutex") Mutex {
 public:
  void Lock() ACQUIRE() { mutex_.lock(); }
  void Unlock() RELEASE() { mutex_.unlock(); }
  // Tells the analysis the caller holds it, where it cannot see so (a function called back under
  // the lock). No check at run time: the standard mutex cannot tell its owner.
  void AssertHeld() const ASSERT_CAPABILITY(this) {}

 private:
  friend class CondVar;
  std::mutex mutex_;
};

// Holds a Mutex for its scope.
class SCOPED_CAPABILITY MutexLock {
 public:
  explicit MutexLock(Mutex* mutex) ACQUIRE(mutex) : mutex_(mutex) { mutex_->Lock(); }
  ~MutexLock() RELEASE() { mutex_->Unlock(); }
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;

 private:
  Mutex* const mutex_;
};

// Waits are made with the mutex held, and return with it held again; callers loop on their
// condition (a wait may end for nothing). Each wait names the mutex, so the analysis checks it is
// held; it must be the same mutex for every wait on one condition.
class CondVar {
 public:
  CondVar() = default;
  CondVar(const CondVar&) = delete;
  CondVar& operator=(const CondVar&) = delete;

  void Wait(Mutex& held) REQUIRES(held) {
    std::unique_lock<std::mutex> lock(held.mutex_, std::adopt_lock);
    condition_.wait(lock);
    lock.release();
  }
  // False when `timeout` passed first.
  bool WaitFor(Mutex& held, std::chrono::steady_clock::duration timeout) REQUIRES(held) {
    std::unique_lock<std::mutex> lock(held.mutex_, std::adopt_lock);
    const bool woken = condition_.wait_for(lock, timeout) == std::cv_status::no_timeout;
    lock.release();
    return woken;
  }
  void Signal() { condition_.notify_one(); }
  void SignalAll() { condition_.notify_all(); }

 private:
  std::condition_variable condition_;
};

}  // namespace gameshell
