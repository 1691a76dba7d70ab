#include "platform/temporary_directory.h"

#include <stdlib.h>

#include <filesystem>
#include <system_error>
#include <vector>

namespace gameshell::platform {

std::string MakeTemporaryDirectory(const std::string& prefix) {
  std::error_code error;
  std::filesystem::path base = std::filesystem::temp_directory_path(error);
  if (error) {
    base = "/tmp";
  }
  std::string pattern = (base / (prefix + "XXXXXX")).string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  // mkdtemp makes it 0700.
  return ::mkdtemp(buffer.data()) ? std::string(buffer.data()) : std::string();
}

void RemoveDirectoryTree(const std::string& path) {
  std::error_code error;
  std::filesystem::remove_all(path, error);
}

}  // namespace gameshell::platform
