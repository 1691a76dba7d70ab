#include "platform/process_environment.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

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

bool EnterPlayerCacheDirectory(std::string* directory) {
  const char* cache = std::getenv("XDG_CACHE_HOME");
  const char* home = std::getenv("HOME");
  const std::string base = cache && *cache ? cache : std::string(home ? home : "") + "/.cache";
  *directory = base + "/varnholt";
  // As `mkdir -p`: the parents too.
  for (size_t slash = directory->find('/', 1);; slash = directory->find('/', slash + 1)) {
    const std::string part = directory->substr(0, slash);
    if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
      return false;
    }
    if (slash == std::string::npos) {
      break;
    }
  }
  return ::chdir(directory->c_str()) == 0 && ::access(".", W_OK) == 0;
}

}  // namespace gameshell::platform
