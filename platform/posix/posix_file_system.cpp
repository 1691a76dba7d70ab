#include "platform/file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

// The cache's file system on POSIX systems: paths are bytes, passed to the system unchanged.
namespace gameshell {
namespace {

bool WriteAll(int fd, std::string_view data) {
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

class PosixWritableFile : public WritableFile {
 public:
  explicit PosixWritableFile(int fd) : fd_(fd) {}
  ~PosixWritableFile() override { Close(); }
  bool Append(std::string_view data) override {
    ok_ = ok_ && fd_ >= 0 && WriteAll(fd_, data);
    return ok_;
  }
  bool Close() override {
    if (fd_ >= 0) {
      // close() can be where a full disk or a network file system reports the failed write.
      ok_ = ::close(fd_) == 0 && ok_;
      fd_ = -1;
    }
    return ok_;
  }

 private:
  int fd_;
  bool ok_ = true;
};

// The directory that holds a path's last component, reached from the cache root one component at
// a time without following a symbolic link: whoever can write into the root (a shared game
// directory) could otherwise plant "img -> /elsewhere" and have the cache write, or serve, files
// outside it. Every operation below names its file relative to this directory, and never follows
// a link in the last component either.
class ParentDirectory {
 public:
  explicit ParentDirectory(const std::string& path) {
    const size_t slash = path.rfind('/');
    leaf_ = slash == std::string::npos ? path : path.substr(slash + 1);
    if (leaf_.empty() || leaf_ == "." || leaf_ == "..") {
      fd_ = -1;
      errno = EINVAL;
      return;
    }
    if (slash == std::string::npos) {
      return;
    }
    // An absolute path (a test's own) is walked from the file system's root.
    if (path[0] == '/') {
      fd_ = ::open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    }
    size_t start = path[0] == '/' ? 1 : 0;
    while (fd_ != -1 && start < slash) {
      size_t end = std::min(path.find('/', start), slash);
      const std::string component = path.substr(start, end - start);
      start = end + 1;
      if (component.empty() || component == ".") {
        continue;
      }
      if (component == "..") {
        Close();
        fd_ = -1;
        errno = EINVAL;
        break;
      }
      const int next =
          ::openat(fd_, component.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      const int error = errno;
      Close();
      fd_ = next;
      errno = error;
    }
  }
  ~ParentDirectory() { Close(); }
  ParentDirectory(const ParentDirectory&) = delete;
  ParentDirectory& operator=(const ParentDirectory&) = delete;

  bool ok() const { return fd_ != -1; }
  int fd() const { return fd_; }
  const char* leaf() const { return leaf_.c_str(); }

  // The last component opened with `flags`, never through a link; -1 on failure.
  int Open(int flags, mode_t mode = 0) const {
    return ok() ? ::openat(fd_, leaf(), flags | O_NOFOLLOW | O_CLOEXEC, mode) : -1;
  }
  // The last component's own status (a link's, not its target's).
  bool Status(struct stat* st) const {
    return ok() && ::fstatat(fd_, leaf(), st, AT_SYMLINK_NOFOLLOW) == 0;
  }

 private:
  void Close() {
    if (fd_ >= 0) {
      ::close(fd_);
    }
  }

  int fd_ = AT_FDCWD;
  std::string leaf_;
};

// An exclusive lock on `fd`, waited for at most `wait_ms`: a holder that was stopped (SIGSTOP, a
// debugger) must not stop this shell's writes of the index, nor its close, with it.
bool LockWithin(int fd, int wait_ms) {
  constexpr int kPollMs = 5;
  for (int waited = 0;; waited += kPollMs) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      return true;
    }
    if ((errno != EWOULDBLOCK && errno != EINTR) || waited >= wait_ms) {
      return false;
    }
    ::usleep(kPollMs * 1000);
  }
}

// `path`, created if missing, opened and exclusively locked: the file that is at the path once the
// lock is held (another shell may rename a new one over it while this one waits). -1 on failure.
// Shells sharing a cache root take this lock around every append to and rewrite of the index.
int OpenLocked(const std::string& path) {
  const ParentDirectory parent(path);
  for (int attempt = 0; attempt < 100; ++attempt) {
    int fd = parent.Open(O_RDWR | O_CREAT, 0644);
    if (fd < 0) {
      return -1;
    }
    if (!LockWithin(fd, kIndexLockWaitMs)) {
      ::close(fd);
      return -1;
    }
    struct stat held;
    struct stat current;
    if (::fstat(fd, &held) == 0 && parent.Status(&current) && held.st_ino == current.st_ino &&
        held.st_dev == current.st_dev) {
      return fd;
    }
    ::close(fd);
  }
  return -1;
}

// A flush refused only because the file system keeps nothing to flush (a pipe-like or read-only
// mount) loses nothing.
bool Flushed(int result) {
  return result == 0 || errno == EINVAL || errno == EROFS;
}

class PosixFileSystem : public FileSystem {
 public:
  std::optional<uint64_t> FileSize(const std::string& path) override {
    struct stat st;
    if (path.empty() || !ParentDirectory(path).Status(&st) || !S_ISREG(st.st_mode)) {
      return std::nullopt;
    }
    return static_cast<uint64_t>(st.st_size);
  }

  std::optional<FileStamp> Stamp(const std::string& path) override {
    struct stat st;
    if (path.empty() || !ParentDirectory(path).Status(&st) || !S_ISREG(st.st_mode)) {
      return std::nullopt;
    }
    return FileStamp{static_cast<uint64_t>(st.st_size),
                     static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec,
                     static_cast<int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec,
                     static_cast<uint64_t>(st.st_ino)};
  }

  std::optional<uint64_t> FreeBytes() override {
    struct statvfs fs;
    if (::statvfs(".", &fs) != 0) {
      return std::nullopt;
    }
    return static_cast<uint64_t>(fs.f_bavail) * fs.f_frsize;
  }

  bool CreateDirectory(const std::string& path) override {
    const ParentDirectory parent(path);
    if (path.empty() || !parent.ok()) {
      return false;
    }
    if (::mkdirat(parent.fd(), parent.leaf(), 0755) == 0) {
      return true;
    }
    struct stat st;
    return errno == EEXIST && parent.Status(&st) && S_ISDIR(st.st_mode);
  }

  ReadOutcome ReadFileInPieces(const std::string& path,
                               size_t piece,
                               const std::function<bool(std::string_view)>& sink) override {
    // Without O_NONBLOCK, opening a FIFO waits for a writer that may never come.
    int fd = ParentDirectory(path).Open(O_RDONLY | O_NONBLOCK);
    if (fd < 0) {
      return errno == ENOENT || errno == ENOTDIR ? ReadOutcome::kMissing : ReadOutcome::kUnusable;
    }
    struct stat st;
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    std::string buffer(ok ? piece : 0, '\0');
    for (ssize_t n; ok && (n = ::read(fd, buffer.data(), buffer.size())) != 0;) {
      if (n < 0 && errno == EINTR) {
        continue;
      }
      ok = n > 0;
      if (ok && !sink(std::string_view(buffer.data(), static_cast<size_t>(n)))) {
        break;
      }
    }
    ::close(fd);
    return ok ? ReadOutcome::kRead : ReadOutcome::kUnusable;
  }

  int OpenForReading(const std::string& path) override {
    int fd = ParentDirectory(path).Open(O_RDONLY | O_NONBLOCK);
    struct stat st;
    if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
      ::close(fd);
      return -1;
    }
    return fd;
  }

  bool SyncFiles(const std::vector<std::string>& paths) override {
    // A few at a time, so that the descriptors held stay few. Every file's write-back is started
    // before the first waits: the waits then mostly share one journal commit instead of one each.
    constexpr size_t kGroup = 64;
    bool ok = true;
    for (size_t first = 0; first < paths.size(); first += kGroup) {
      std::vector<int> fds;
      for (size_t i = first; i < paths.size() && i < first + kGroup; ++i) {
        int fd = ParentDirectory(paths[i]).Open(O_RDONLY | O_NONBLOCK);
        if (fd < 0) {
          ok = ok && errno == ENOENT;  // gone since: nothing of it to keep
          continue;
        }
#ifdef __linux__
        ::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
#endif
        fds.push_back(fd);
      }
      for (int fd : fds) {
        ok = Flushed(::fdatasync(fd)) && ok;
        ::close(fd);
      }
    }
    return ok;
  }

  bool AppendFile(const std::string& path, std::string_view content) override {
    int fd = OpenLocked(path);
    if (fd < 0) {
      return false;
    }
    PosixWritableFile file(fd);
    return ::lseek(fd, 0, SEEK_END) >= 0 && file.Append(content) && file.Close();
  }

  bool AppendLocked(const std::string& path,
                    const std::function<std::string()>& make,
                    bool sync,
                    const std::function<void()>& then) override {
    int fd = OpenLocked(path);
    if (fd < 0) {
      return false;
    }
    PosixWritableFile file(fd);
    const std::string content = make();
    const bool ok = (content.empty() || (::lseek(fd, 0, SEEK_END) >= 0 && file.Append(content))) &&
                    (!sync || Flushed(::fdatasync(fd)));
    if (ok && then) {
      then();  // the lock is let go with the descriptor, below
    }
    return file.Close() && ok;
  }

  bool LockHeldElsewhere(const std::string& path) override {
    int fd = ParentDirectory(path).Open(O_RDONLY | O_NONBLOCK);
    if (fd < 0) {
      return false;
    }
    const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);  // and with it a lock it got
    return held;
  }

  bool ReplaceFileMerged(const std::string& path,
                         const std::function<void(std::string_view)>& take,
                         const std::function<std::string()>& make) override {
    int fd = OpenLocked(path);
    if (fd < 0) {
      return false;
    }
    char buffer[65536];
    off_t offset = 0;
    for (ssize_t n; (n = ::pread(fd, buffer, sizeof buffer, offset)) != 0;) {
      if (n < 0 && errno == EINTR) {
        continue;
      }
      if (n < 0) {
        ::close(fd);
        return false;
      }
      offset += n;
      take(std::string_view(buffer, static_cast<size_t>(n)));
    }
    // Renamed over while still locked: a shell waiting for the lock finds the new file.
    const bool ok = WriteFileAtomically(*this, path, make());
    ::close(fd);
    return ok;
  }

  std::unique_ptr<WritableFile> NewWritableFile(const std::string& path) override {
    int fd = ParentDirectory(path).Open(O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) {
      return nullptr;
    }
    // The lock dies with the process, so a sweeper can tell a leftover from a file being written.
    ::flock(fd, LOCK_EX | LOCK_NB);
    return std::make_unique<PosixWritableFile>(fd);
  }

  bool RemoveUnlockedFile(const std::string& path) override {
    const ParentDirectory parent(path);
    int fd = parent.Open(O_RDONLY);
    if (fd < 0) {
      return false;
    }
    const bool removed =
        ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::unlinkat(parent.fd(), parent.leaf(), 0) == 0;
    ::close(fd);
    return removed;
  }

  bool IsDirectory(const std::string& path) override {
    struct stat st;
    return !path.empty() && ParentDirectory(path).Status(&st) && S_ISDIR(st.st_mode);
  }

  bool Rename(const std::string& from, const std::string& to) override {
    const ParentDirectory from_parent(from);
    const ParentDirectory to_parent(to);
    return from_parent.ok() && to_parent.ok() &&
           ::renameat(from_parent.fd(), from_parent.leaf(), to_parent.fd(), to_parent.leaf()) == 0;
  }

  bool RemoveFile(const std::string& path) override {
    const ParentDirectory parent(path);
    return parent.ok() && ::unlinkat(parent.fd(), parent.leaf(), 0) == 0;
  }

  bool ListDirectory(const std::string& path, std::vector<std::string>* names) override {
    const int fd = path.empty() ? ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)
                                : ParentDirectory(path).Open(O_RDONLY | O_DIRECTORY);
    DIR* dir = fd < 0 ? nullptr : ::fdopendir(fd);
    if (!dir) {
      if (fd >= 0) {
        ::close(fd);
      }
      return false;
    }
    while (const dirent* entry = ::readdir(dir)) {
      std::string name = entry->d_name;
      if (name != "." && name != "..") {
        names->push_back(std::move(name));
      }
    }
    ::closedir(dir);
    return true;
  }
};

}  // namespace

FileSystem& DefaultFileSystem() {
  static PosixFileSystem file_system;
  return file_system;
}

}  // namespace gameshell
