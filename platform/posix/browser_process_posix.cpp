#include "platform/browser_process.h"

#include "platform/posix/child_process_posix.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace gameshell::platform {

namespace {

void CloseIfOpen(int& fd) {
  if (fd >= 0) {
    ::close(fd);
    fd = -1;
  }
}

class PosixBrowserProcess : public BrowserProcess {
 public:
  PosixBrowserProcess(pid_t pid, int to_browser, int from_browser)
      : pid_(pid), to_browser_(to_browser), from_browser_(from_browser) {}

  ~PosixBrowserProcess() override {
    if (!exit_status_) {
      Kill();
      WaitForExit(std::chrono::milliseconds(2000));
    }
    CloseIfOpen(to_browser_);
    CloseIfOpen(from_browser_);
  }

  bool Write(std::string_view bytes) override {
    while (!bytes.empty()) {
      const ssize_t written = ::write(to_browser_, bytes.data(), bytes.size());
      if (written < 0) {
        if (errno == EINTR) {
          continue;
        }
        return false;
      }
      bytes.remove_prefix(static_cast<size_t>(written));
    }
    return true;
  }

  size_t Read(char* buffer, size_t size) override {
    while (true) {
      const ssize_t read = ::read(from_browser_, buffer, size);
      if (read >= 0) {
        return static_cast<size_t>(read);
      }
      if (errno != EINTR) {
        return 0;
      }
    }
  }

  void Kill() override {
    if (!exit_status_) {
      // The browser leads its own group: its helpers go with it.
      ::kill(-pid_, SIGKILL);
      ::kill(pid_, SIGKILL);
    }
  }

  std::optional<int> WaitForExit(std::chrono::milliseconds timeout) override {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!exit_status_) {
      int status = 0;
      const pid_t waited = ::waitpid(pid_, &status, WNOHANG);
      if (waited == pid_) {
        exit_status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        break;
      }
      if (waited < 0 && errno != EINTR) {
        exit_status_ = -1;  // reaped elsewhere
        break;
      }
      if (std::chrono::steady_clock::now() >= deadline) {
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return exit_status_;
  }

  long pid() const override { return pid_; }

 private:
  const pid_t pid_;
  int to_browser_;
  int from_browser_;
  std::optional<int> exit_status_;
};

bool IsExecutableFile(const std::string& path) {
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) &&
         ::access(path.c_str(), X_OK) == 0;
}

}  // namespace

std::string FindExecutable(const std::vector<std::string>& names) {
  const char* path = std::getenv("PATH");
  const std::string_view dirs = path && *path ? path : "/usr/local/bin:/usr/bin:/bin";
  for (const std::string& name : names) {
    if (name.empty()) {
      continue;
    }
    if (name.find('/') != std::string::npos) {
      if (IsExecutableFile(name)) {
        return name;
      }
      continue;
    }
    size_t start = 0;
    while (start <= dirs.size()) {
      const size_t end = std::min(dirs.find(':', start), dirs.size());
      const std::string_view dir = dirs.substr(start, end - start);
      if (!dir.empty()) {
        std::string candidate = std::string(dir) + "/" + name;
        if (IsExecutableFile(candidate)) {
          return candidate;
        }
      }
      start = end + 1;
    }
  }
  return {};
}

std::unique_ptr<BrowserProcess> StartBrowserProcess(const std::vector<std::string>& argv,
                                                    std::string* error,
                                                    bool output_shown,
                                                    const EnvironmentSettings& settings) {
  if (argv.empty()) {
    *error = "no browser to start";
    return nullptr;
  }
  // A browser that died leaves the pipe without a reader: its write fails rather than ending the
  // shell.
  ::signal(SIGPIPE, SIG_IGN);
  int to_browser[2] = {-1, -1};
  int from_browser[2] = {-1, -1};
  int exec_status[2] = {-1, -1};
  if (::pipe2(to_browser, O_CLOEXEC) != 0 || ::pipe2(from_browser, O_CLOEXEC) != 0 ||
      ::pipe2(exec_status, O_CLOEXEC) != 0) {
    *error = std::string("no pipe: ") + std::strerror(errno);
    for (int* pair : {to_browser, from_browser, exec_status}) {
      CloseIfOpen(pair[0]);
      CloseIfOpen(pair[1]);
    }
    return nullptr;
  }
  // Opened before the fork: the child may only make async-signal-safe calls.
  int nowhere = output_shown ? -1 : ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  std::vector<char*> args;
  for (const std::string& arg : argv) {
    args.push_back(const_cast<char*>(arg.c_str()));
  }
  args.push_back(nullptr);
  // The shell's environment with the settings in place of any of the same names.
  std::vector<char*> environment;
  for (char** variable = environ; *variable; ++variable) {
    const std::string_view name(*variable, std::strcspn(*variable, "="));
    const bool replaced = std::any_of(settings.begin(), settings.end(), [&](const std::string& s) {
      return s.size() > name.size() && s.compare(0, name.size(), name) == 0 &&
             s[name.size()] == '=';
    });
    if (!replaced) {
      environment.push_back(*variable);
    }
  }
  for (const std::string& setting : settings) {
    environment.push_back(const_cast<char*>(setting.c_str()));
  }
  environment.push_back(nullptr);
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid == 0) {
    // Only async-signal-safe calls from here to exec. The shell's ignored SIGPIPE would pass
    // through exec: the browser gets the default.
    ::signal(SIGPIPE, SIG_DFL);
    ::setpgid(0, 0);
    if (!LiveAndDieWith(parent)) {
      ::_exit(127);
    }
    // The pipe at 3 and 4, whatever numbers the pipes got (3 or 4 among them).
    const int in = ::fcntl(to_browser[0], F_DUPFD_CLOEXEC, 5);
    const int out = ::fcntl(from_browser[1], F_DUPFD_CLOEXEC, 5);
    if (nowhere >= 0) {
      ::dup2(nowhere, STDOUT_FILENO);
      ::dup2(nowhere, STDERR_FILENO);
    }
    if (in < 0 || out < 0 || ::dup2(in, 3) != 3 || ::dup2(out, 4) != 4) {
      const int code = errno;
      (void)!::write(exec_status[1], &code, sizeof code);
      ::_exit(127);
    }
    ::execvpe(args[0], args.data(), environment.data());
    const int code = errno;
    (void)!::write(exec_status[1], &code, sizeof code);
    ::_exit(127);
  }
  CloseIfOpen(to_browser[0]);
  CloseIfOpen(from_browser[1]);
  CloseIfOpen(exec_status[1]);
  CloseIfOpen(nowhere);
  if (pid < 0) {
    *error = std::string("no process: ") + std::strerror(errno);
    CloseIfOpen(to_browser[1]);
    CloseIfOpen(from_browser[0]);
    CloseIfOpen(exec_status[0]);
    return nullptr;
  }
  ::setpgid(pid, pid);  // both sides, so a kill of the group never misses it
  int code = 0;
  ssize_t got = 0;
  do {
    got = ::read(exec_status[0], &code, sizeof code);
  } while (got < 0 && errno == EINTR);
  CloseIfOpen(exec_status[0]);
  auto process = std::make_unique<PosixBrowserProcess>(pid, to_browser[1], from_browser[0]);
  if (got == sizeof code) {
    *error = argv[0] + ": " + std::strerror(code);
    process->WaitForExit(std::chrono::milliseconds(2000));
    return nullptr;
  }
  return process;
}

}  // namespace gameshell::platform
