#include "platform/url_opener.h"

#include <spawn.h>
#include <sys/wait.h>

#include <thread>

extern char** environ;

namespace gameshell::platform {

void OpenWithDesktop(const std::string& url) {
  std::string argument = url;
  char program[] = "xdg-open";
  char* argv[] = {program, argument.data(), nullptr};

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  // The browser it starts must not inherit the engine's sockets (the developer-tools port among
  // them), or they would stay open after the shell has ended.
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);

  pid_t pid = 0;
  // As one argument, never through a shell.
  if (posix_spawnp(&pid, program, &actions, &attributes, argv, environ) == 0) {
    std::thread([pid] { ::waitpid(pid, nullptr, 0); }).detach();
  }
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
}

}  // namespace gameshell::platform
