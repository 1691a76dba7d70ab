#include "app/qt/termination_signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QObject>
#include <QSocketNotifier>

namespace gameshell {

namespace {

int g_signal_pipe[2] = {-1, -1};

// Only async-signal-safe work here: the event loop does the rest.
void OnSignal(int) {
  const char byte = 1;
  [[maybe_unused]] ssize_t ignored = ::write(g_signal_pipe[1], &byte, 1);
}

}  // namespace

void HandleTerminationSignals(QObject* context, std::function<void()> on_signal) {
  if (::pipe2(g_signal_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    return;
  }
  auto* notifier = new QSocketNotifier(g_signal_pipe[0], QSocketNotifier::Read, context);
  QObject::connect(notifier, &QSocketNotifier::activated, context,
                   [on_signal = std::move(on_signal)] {
                     char drained[16];
                     while (::read(g_signal_pipe[0], drained, sizeof drained) > 0) {
                     }
                     on_signal();
                   });
  struct sigaction action = {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signal_number : {SIGTERM, SIGINT, SIGHUP}) {
    ::sigaction(signal_number, &action, nullptr);
  }
}

}  // namespace gameshell
