#include "base/core/message_loop.h"

namespace gameshell {

void MessageLoop::Post(std::function<void()> task) {
  {
    MutexLock lock(&mutex_);
    ready_.push_back(std::move(task));
  }
  changed_.Signal();
}

void MessageLoop::PostDelayed(std::function<void()> task, Clock::duration delay) {
  {
    MutexLock lock(&mutex_);
    delayed_.emplace(Clock::now() + delay, std::move(task));
  }
  changed_.Signal();
}

void MessageLoop::Quit() {
  {
    MutexLock lock(&mutex_);
    quit_ = true;
  }
  changed_.Signal();
}

bool MessageLoop::RunsTasksOnCurrentThread() const {
  return runner_.load() == std::this_thread::get_id();
}

void MessageLoop::Run() {
  runner_ = std::this_thread::get_id();
  mutex_.Lock();
  while (!quit_) {
    const Clock::time_point now = Clock::now();
    while (!delayed_.empty() && delayed_.begin()->first <= now) {
      ready_.push_back(std::move(delayed_.begin()->second));
      delayed_.erase(delayed_.begin());
    }
    if (ready_.empty()) {
      if (delayed_.empty()) {
        changed_.Wait(mutex_);
      } else {
        changed_.WaitFor(mutex_, delayed_.begin()->first - now);
      }
      continue;
    }
    std::function<void()> task = std::move(ready_.front());
    ready_.pop_front();
    // Tasks run unlocked: they post more.
    mutex_.Unlock();
    task();
    mutex_.Lock();
  }
  quit_ = false;
  mutex_.Unlock();
  runner_ = std::thread::id{};
}

}  // namespace gameshell
