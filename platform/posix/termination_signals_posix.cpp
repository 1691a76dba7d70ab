#include "platform/termination_signals.h"

#include <pthread.h>
#include <signal.h>

#include <thread>

namespace gameshell::platform {

void WatchTerminationSignals(std::function<void()> on_signal) {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGHUP);
  // Threads started after this inherit the mask: only the watcher takes these signals.
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  std::thread([signals, on_signal = std::move(on_signal)] {
    while (true) {
      int number = 0;
      if (sigwait(&signals, &number) == 0) {
        on_signal();
      }
    }
  }).detach();
}

}  // namespace gameshell::platform
