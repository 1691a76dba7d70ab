#include "platform/posix/child_process_posix.h"

#include <signal.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/prctl.h>
#endif

namespace gameshell::platform {

bool LiveAndDieWith(pid_t parent) {
  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
#if defined(__linux__)
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  return ::getppid() == parent;
#else
  (void)parent;
  return true;
#endif
}

}  // namespace gameshell::platform
