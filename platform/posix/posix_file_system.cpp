#include "platform/file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

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

// `path`, created if missing, opened and exclusively locked: the file that is at the path once the
// lock is held (another shell may rename a new one over it while this one waits). -1 on failure.
// Shells sharing a cache root take this lock around every append to and rewrite of the index.
int OpenLocked(const std::string& path) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
      return -1;
    }
    struct stat held;
    struct stat current;
    if (::flock(fd, LOCK_EX) == 0 && ::fstat(fd, &held) == 0 &&
        ::stat(path.c_str(), &current) == 0 && held.st_ino == current.st_ino &&
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
    if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
      return std::nullopt;
    }
    return static_cast<uint64_t>(st.st_size);
  }

  std::optional<FileStamp> Stamp(const std::string& path) override {
    struct stat st;
    if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
      return std::nullopt;
    }
    return FileStamp{static_cast<uint64_t>(st.st_size),
                     static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
  }

  bool CreateDirectory(const std::string& path) override {
    if (path.empty()) {
      return false;
    }
    if (::mkdir(path.c_str(), 0755) == 0) {
      return true;
    }
    struct stat st;
    return errno == EEXIST && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  }

  ReadOutcome ReadFileInPieces(const std::string& path,
                               size_t piece,
                               const std::function<bool(std::string_view)>& sink) override {
    // Without O_NONBLOCK, opening a FIFO waits for a writer that may never come.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
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

  bool SyncFiles(const std::vector<std::string>& paths) override {
    // A few at a time, so that the descriptors held stay few. Every file's write-back is started
    // before the first waits: the waits then mostly share one journal commit instead of one each.
    constexpr size_t kGroup = 64;
    bool ok = true;
    for (size_t first = 0; first < paths.size(); first += kGroup) {
      std::vector<int> fds;
      for (size_t i = first; i < paths.size() && i < first + kGroup; ++i) {
        int fd = ::open(paths[i].c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
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

  bool ReplaceFileMerged(const std::string& path,
                         const std::function<std::string(const std::string&)>& make) override {
    int fd = OpenLocked(path);
    if (fd < 0) {
      return false;
    }
    std::string current;
    char buffer[65536];
    for (ssize_t n; (n = ::pread(fd, buffer, sizeof buffer, current.size())) != 0;) {
      if (n < 0 && errno == EINTR) {
        continue;
      }
      if (n < 0) {
        ::close(fd);
        return false;
      }
      current.append(buffer, static_cast<size_t>(n));
    }
    // Renamed over while still locked: a shell waiting for the lock finds the new file.
    const bool ok = WriteFileAtomically(*this, path, make(current));
    ::close(fd);
    return ok;
  }

  std::unique_ptr<WritableFile> NewWritableFile(const std::string& path) override {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
      return nullptr;
    }
    // The lock dies with the process, so a sweeper can tell a leftover from a file being written.
    ::flock(fd, LOCK_EX | LOCK_NB);
    return std::make_unique<PosixWritableFile>(fd);
  }

  bool RemoveUnlockedFile(const std::string& path) override {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
      return false;
    }
    const bool removed = ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::unlink(path.c_str()) == 0;
    ::close(fd);
    return removed;
  }

  bool IsDirectory(const std::string& path) override {
    struct stat st;
    return !path.empty() && ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  }

  bool Rename(const std::string& from, const std::string& to) override {
    return ::rename(from.c_str(), to.c_str()) == 0;
  }

  bool RemoveFile(const std::string& path) override {
    return ::unlink(path.c_str()) == 0;
  }

  bool ListDirectory(const std::string& path, std::vector<std::string>* names) override {
    DIR* dir = ::opendir(path.empty() ? "." : path.c_str());
    if (!dir) {
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
