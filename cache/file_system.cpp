#include "cache/file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <random>

namespace gameshell {
namespace {

class PosixFileSystem : public FileSystem {
 public:
  std::optional<uint64_t> FileSize(const std::string& path) override {
    struct stat st;
    if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
      return std::nullopt;
    }
    return static_cast<uint64_t>(st.st_size);
  }

  bool Exists(const std::string& path) override {
    struct stat st;
    return !path.empty() && ::stat(path.c_str(), &st) == 0;
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

  bool ReadFile(const std::string& path, std::string* content) override {
    content->clear();
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      return false;
    }
    struct stat st;
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (ok) {
      content->resize(static_cast<size_t>(st.st_size));
      size_t done = 0;
      while (ok && done < content->size()) {
        ssize_t n = ::read(fd, content->data() + done, content->size() - done);
        if (n < 0 && errno == EINTR) {
          continue;
        }
        ok = n > 0;
        done += ok ? static_cast<size_t>(n) : 0;
      }
      // A file that grew since fstat is read on to its end.
      char more[65536];
      for (ssize_t n; ok && (n = ::read(fd, more, sizeof more)) != 0;) {
        if (n < 0 && errno == EINTR) {
          continue;
        }
        ok = n > 0;
        if (ok) {
          content->append(more, static_cast<size_t>(n));
        }
      }
    }
    ::close(fd);
    if (!ok) {
      content->clear();
    }
    return ok;
  }

  bool WriteFile(const std::string& path, std::string_view content) override {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
      return false;
    }
    bool ok = true;
    size_t done = 0;
    while (ok && done < content.size()) {
      ssize_t n = ::write(fd, content.data() + done, content.size() - done);
      if (n < 0 && errno == EINTR) {
        continue;
      }
      ok = n > 0;
      done += ok ? static_cast<size_t>(n) : 0;
    }
    // close() can be where a full disk or a network file system reports the failed write.
    return ::close(fd) == 0 && ok;
  }

  bool Rename(const std::string& from, const std::string& to) override {
    return ::rename(from.c_str(), to.c_str()) == 0;
  }

  bool RemoveFile(const std::string& path) override { return ::unlink(path.c_str()) == 0; }
};

// In the target's directory, so the rename stays on one file system. Unique among this process's
// threads and, through the random part, among processes sharing a cache root. The name carries no
// resource extension, so a temporary left by a killed process is never taken for a resource.
std::string TemporaryPathFor(const std::string& path) {
  static const uint64_t process_tag = std::random_device{}();
  static std::atomic<uint64_t> counter{0};
  size_t slash = path.rfind('/');
  std::string directory = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  return directory + kTemporaryFilePrefix + std::to_string(process_tag) + "-" +
         std::to_string(++counter);
}

}  // namespace

FileSystem& DefaultFileSystem() {
  static PosixFileSystem file_system;
  return file_system;
}

bool WriteFileAtomically(FileSystem& fs, const std::string& path, std::string_view content) {
  const std::string temporary = TemporaryPathFor(path);
  if (fs.WriteFile(temporary, content) && fs.Rename(temporary, path)) {
    return true;
  }
  fs.RemoveFile(temporary);
  return false;
}

}  // namespace gameshell
