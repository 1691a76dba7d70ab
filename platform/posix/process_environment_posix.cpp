#include "platform/process_environment.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#ifdef __linux__
#include <sched.h>
#include <sys/syscall.h>
#endif

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace platform {
namespace {

bool SameDirectory(const char* a, const char* b) {
  struct stat first, second;
  return a && b && *a && *b && ::stat(a, &first) == 0 && ::stat(b, &second) == 0 &&
         S_ISDIR(first.st_mode) && first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

}  // namespace

bool RunsAsRoot() {
  return ::geteuid() == 0;
}

#ifdef __linux__
namespace {

bool WriteSmallFile(const char* path, const char* text) {
  int fd = ::open(path, O_WRONLY | O_CLOEXEC);
  if (fd < 0) {
    return false;
  }
  const auto length = static_cast<ssize_t>(std::strlen(text));
  const bool ok = ::write(fd, text, static_cast<size_t>(length)) == length;
  return ::close(fd) == 0 && ok;
}

}  // namespace
#endif

bool SystemAllowsPageSandbox() {
#ifdef __linux__
  // What the engine's sandbox does first: a child in new namespaces that maps its own user. Systems
  // that turned user namespaces off refuse the clone; those that allow them without their powers
  // refuse the other namespaces or the map.
  const uid_t uid = ::getuid();
  const gid_t gid = ::getgid();
  char uid_map[64];
  char gid_map[64];
  std::snprintf(uid_map, sizeof uid_map, "%u %u 1\n", uid, uid);
  std::snprintf(gid_map, sizeof gid_map, "%u %u 1\n", gid, gid);
  const long pid = ::syscall(SYS_clone, CLONE_NEWUSER | CLONE_NEWPID | CLONE_NEWNET | SIGCHLD,
                             nullptr, nullptr, nullptr, nullptr);
  if (pid == 0) {
    // The child: only system calls from here on.
    const bool mapped = WriteSmallFile("/proc/self/setgroups", "deny") &&
                        WriteSmallFile("/proc/self/gid_map", gid_map) &&
                        WriteSmallFile("/proc/self/uid_map", uid_map);
    ::_exit(mapped ? 0 : 1);
  }
  if (pid < 0) {
    return false;
  }
  int status = 0;
  while (::waitpid(static_cast<pid_t>(pid), &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
#else
  return true;
#endif
}

bool WorkingDirectoryIsHome() {
  // HOME is what the user's programs take for home; the account's entry covers a HOME that was
  // changed for this start only.
  if (SameDirectory(".", std::getenv("HOME"))) {
    return true;
  }
  const struct passwd* account = ::getpwuid(::getuid());
  return account && SameDirectory(".", account->pw_dir);
}

std::string WorkingDirectoryForDisplay() {
  char buffer[4096];
  return ::getcwd(buffer, sizeof(buffer)) ? buffer : "";
}

}  // namespace platform
