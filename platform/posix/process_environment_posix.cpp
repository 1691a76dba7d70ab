#include "platform/process_environment.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace gameshell::platform {
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

}  // namespace gameshell::platform
