#include "platform/temporary_directory.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>
#include <vector>

namespace gameshell::platform {

namespace {

std::filesystem::path TemporaryBase() {
  std::error_code error;
  std::filesystem::path base = std::filesystem::temp_directory_path(error);
  return error ? std::filesystem::path("/tmp") : base;
}

}  // namespace

std::string MakeTemporaryDirectory(const std::string& prefix) {
  std::string pattern = (TemporaryBase() / (prefix + "XXXXXX")).string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  // mkdtemp makes it 0700.
  if (!::mkdtemp(buffer.data())) {
    return {};
  }
  // The lock on the directory itself says it is in use: it goes with this process, however it
  // ends, and no child inherits it. Its descriptor stays open until then.
  const int held = ::open(buffer.data(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (held >= 0) {
    ::flock(held, LOCK_EX);
  }
  return buffer.data();
}

void RemoveAbandonedTemporaryDirectories(const std::string& prefix) {
  std::error_code error;
  const time_t a_minute_ago = ::time(nullptr) - 60;
  for (const auto& entry : std::filesystem::directory_iterator(TemporaryBase(), error)) {
    const std::string name = entry.path().filename().string();
    struct stat info;
    // Only this user's, and not one just made, whose maker may not hold it yet.
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0 ||
        ::lstat(entry.path().c_str(), &info) != 0 || !S_ISDIR(info.st_mode) ||
        info.st_uid != ::geteuid() || info.st_mtime > a_minute_ago) {
      continue;
    }
    const int probe = ::open(entry.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (probe < 0) {
      continue;
    }
    if (::flock(probe, LOCK_EX | LOCK_NB) == 0) {
      RemoveDirectoryTree(entry.path().string());
    }
    ::close(probe);
  }
}

void RemoveDirectoryTree(const std::string& path) {
  std::error_code error;
  std::filesystem::remove_all(path, error);
}

}  // namespace gameshell::platform
