#include "platform/temporary_directory.h"

#include <windows.h>

#include <filesystem>
#include <map>
#include <mutex>
#include <random>
#include <system_error>

#include "platform/win/wide_text.h"

namespace gameshell::platform {

namespace {

// The directories this process made, each held open (without leave to delete it) until the
// process ends or removes it: the mark of one in use.
std::mutex g_held_mutex;
std::map<std::wstring, HANDLE> g_held;

std::wstring TemporaryBase() {
  wchar_t base[MAX_PATH + 1] = {};
  const DWORD length = ::GetTempPathW(MAX_PATH + 1, base);
  return length > 0 && length <= MAX_PATH ? std::wstring(base, length) : std::wstring(L".\\");
}

HANDLE OpenDirectory(const std::wstring& path, DWORD access, DWORD share) {
  return ::CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

}  // namespace

std::string MakeTemporaryDirectory(const std::string& prefix) {
  const std::wstring base = TemporaryBase() + Utf8ToWide(prefix);
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    wchar_t suffix[16];
    ::swprintf(suffix, 16, L"%08x", static_cast<unsigned>(random()));
    const std::wstring path = base + suffix;
    // The temporary directory is the user's own: only the user enters what is made in it.
    if (!::CreateDirectoryW(path.c_str(), nullptr)) {
      if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        continue;
      }
      return {};
    }
    const HANDLE held =
        OpenDirectory(path, FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE);
    if (held != INVALID_HANDLE_VALUE) {
      std::lock_guard lock(g_held_mutex);
      g_held[path] = held;
    }
    return WideToUtf8(path);
  }
  return {};
}

void RemoveAbandonedTemporaryDirectories(const std::string& prefix) {
  const std::wstring base = TemporaryBase();
  const std::wstring pattern = base + Utf8ToWide(prefix) + L"*";
  WIN32_FIND_DATAW found{};
  const HANDLE search = ::FindFirstFileW(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) {
    return;
  }
  FILETIME now_time{};
  ::GetSystemTimeAsFileTime(&now_time);
  const auto ticks = [](const FILETIME& time) {
    return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  };
  constexpr unsigned long long kMinute = 60ull * 10'000'000ull;  // in 100 ns
  std::vector<std::wstring> abandoned;
  do {
    // Not one just made, whose maker may not hold it yet.
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
        (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
        ticks(found.ftLastWriteTime) + kMinute > ticks(now_time)) {
      continue;
    }
    const std::wstring path = base + found.cFileName;
    // Held by a living shell, it cannot be opened for deletion.
    const HANDLE probe =
        OpenDirectory(path, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    if (probe != INVALID_HANDLE_VALUE) {
      ::CloseHandle(probe);
      abandoned.push_back(path);
    }
  } while (::FindNextFileW(search, &found));
  ::FindClose(search);
  for (const std::wstring& path : abandoned) {
    RemoveDirectoryTree(WideToUtf8(path));
  }
}

void RemoveDirectoryTree(const std::string& path) {
  const std::wstring wide = Utf8ToWide(path);
  {
    std::lock_guard lock(g_held_mutex);
    if (auto held = g_held.find(wide); held != g_held.end()) {
      ::CloseHandle(held->second);
      g_held.erase(held);
    }
  }
  std::error_code error;
  std::filesystem::remove_all(std::filesystem::path(wide), error);
}

}  // namespace gameshell::platform
