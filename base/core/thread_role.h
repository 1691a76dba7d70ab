#pragma once

#include <atomic>
#include <cassert>
#include <thread>

#include "base/core/thread_annotations.h"

// One thread's work as a capability the analysis knows, as it knows a mutex: what only that work
// may touch is GUARDED_BY its role, and the work asserts the role where the thread enters it (a
// task posted to the thread, a call the engine makes on it), so touching such a member from
// another thread's work fails to build. A debug build also checks at run time that every assertion
// of one role comes from one thread: the first to assert it. Any thread.
namespace gameshell {

class CAPABILITY("thread role") ThreadRole {
 public:
  void AssertHeld() const ASSERT_CAPABILITY(this) {
#ifndef NDEBUG
    const std::thread::id self = std::this_thread::get_id();
    std::thread::id bound{};
    const bool first = thread_.compare_exchange_strong(bound, self);
    assert((first || bound == self) && "a thread's work ran on another thread");
#endif
  }

 private:
#ifndef NDEBUG
  mutable std::atomic<std::thread::id> thread_{};
#endif
};

}  // namespace gameshell
