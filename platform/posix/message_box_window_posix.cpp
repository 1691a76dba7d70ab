#include "platform/message_box_window.h"

#include "platform/posix/child_process_posix.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <thread>
#include <vector>

namespace gameshell::platform {

namespace {

// The box is a small program installed beside the shell, so that the shell itself needs no
// toolkit and its loop never waits for the player.
constexpr char kBoxProgram[] = "gameshell-box";

std::string BoxProgramPath() {
  char path[PATH_MAX];
  const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) {
    return {};
  }
  std::string directory(path, static_cast<size_t>(length));
  directory.resize(directory.rfind('/') + 1);
  return directory + kBoxProgram;
}

pid_t StartBox(const MessageBoxWindow::Content& content) {
  const std::string program = BoxProgramPath();
  if (program.empty() || ::access(program.c_str(), X_OK) != 0) {
    return -1;
  }
  const std::string above = std::to_string(content.above);
  const std::string icon = content.quit_question ? "question" : content.error ? "error" : "none";
  std::vector<char*> argv = {
      const_cast<char*>(program.c_str()),      const_cast<char*>(content.caption.c_str()),
      const_cast<char*>(content.text.c_str()), const_cast<char*>(icon.c_str()),
      const_cast<char*>(above.c_str()),        nullptr};
  // Qt's own words (a missing runtime directory, say) are not the shell's: opened before the fork,
  // as the child may only make async-signal-safe calls.
  const int nowhere = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid == 0) {
    // Only async-signal-safe calls from here to exec. The box goes with the shell, killed or not.
    if (!LiveAndDieWith(parent)) {
      ::_exit(127);
    }
    if (nowhere >= 0) {
      ::dup2(nowhere, STDOUT_FILENO);
      ::dup2(nowhere, STDERR_FILENO);
    }
    // Nothing else of the shell's.
    ::close_range(3, ~0U, 0);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  if (nowhere >= 0) {
    ::close(nowhere);
  }
  return pid;
}

class PosixMessageBoxWindow : public MessageBoxWindow {
 public:
  PosixMessageBoxWindow(pid_t pid, bool question, std::function<void(bool)> closed) : pid_(pid) {
    waiter_ = std::thread([this, question, closed = std::move(closed)] {
      // Left unreaped: its number stays the box's until the end, which may still signal it.
      siginfo_t info{};
      while (::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOWAIT) < 0 &&
             errno == EINTR) {
      }
      if (!ending_.load()) {
        // The program says a player's Quit by its exit code, 0; anything else (a kill, say) is no.
        closed(question && info.si_code == CLD_EXITED && info.si_status == 0);
      }
    });
  }
  ~PosixMessageBoxWindow() override {
    ending_ = true;
    ::kill(pid_, SIGTERM);
    waiter_.join();
    while (::waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
    }
  }

 private:
  const pid_t pid_;
  std::atomic<bool> ending_{false};
  std::thread waiter_;
};

}  // namespace

std::unique_ptr<MessageBoxWindow> MessageBoxWindow::Show(const Content& content,
                                                         std::function<void(bool)> closed) {
  const pid_t pid = StartBox(content);
  if (pid < 0) {
    return nullptr;
  }
  return std::make_unique<PosixMessageBoxWindow>(pid, content.quit_question, std::move(closed));
}

bool MessageBoxWindow::ShowAndWait(const Content& content) {
  const pid_t pid = StartBox(content);
  if (pid < 0) {
    return false;
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace gameshell::platform
