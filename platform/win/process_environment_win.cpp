#include "platform/process_environment.h"

#include <windows.h>
// After windows.h, which they need.
#include <knownfolders.h>
#include <shlobj.h>

#include <string>

#include "platform/win/wide_text.h"

namespace gameshell::platform {
namespace {

std::wstring FullPath(const wchar_t* path) {
  std::wstring full(MAX_PATH, L'\0');
  DWORD length = ::GetFullPathNameW(path, static_cast<DWORD>(full.size()), full.data(), nullptr);
  if (length >= full.size()) {
    full.resize(length);
    length = ::GetFullPathNameW(path, static_cast<DWORD>(full.size()), full.data(), nullptr);
  }
  full.resize(length < full.size() ? length : 0);
  while (full.size() > 3 && (full.back() == L'\\' || full.back() == L'/')) {
    full.pop_back();
  }
  return full;
}

}  // namespace

bool RunsAsRoot() {
  return false;
}

bool WorkingDirectoryIsHome() {
  wchar_t profile[32768];
  DWORD length = ::GetEnvironmentVariableW(L"USERPROFILE", profile, 32768);
  if (length == 0 || length >= 32768) {
    return false;
  }
  const std::wstring home = FullPath(profile);
  const std::wstring here = FullPath(L".");
  return !home.empty() &&
         ::CompareStringOrdinal(home.c_str(), static_cast<int>(home.size()), here.c_str(),
                                static_cast<int>(here.size()), TRUE) == CSTR_EQUAL;
}

std::string WorkingDirectoryForDisplay() {
  const std::wstring here = FullPath(L".");
  int size = ::WideCharToMultiByte(CP_UTF8, 0, here.c_str(), static_cast<int>(here.size()), nullptr,
                                   0, nullptr, nullptr);
  std::string text(size > 0 ? size : 0, '\0');
  if (size > 0) {
    ::WideCharToMultiByte(CP_UTF8, 0, here.c_str(), static_cast<int>(here.size()), text.data(),
                          size, nullptr, nullptr);
  }
  return text;
}

bool EnterPlayerCacheDirectory(std::string* directory) {
  wchar_t* local = nullptr;
  std::wstring path;
  if (::SHGetKnownFolderPath(FOLDERID_LocalAppData, KF_FLAG_CREATE, nullptr, &local) == S_OK) {
    path = std::wstring(local) + L"\\Varnholt";
  }
  ::CoTaskMemFree(local);
  *directory = WideToUtf8(path);
  if (path.empty() ||
      (!::CreateDirectoryW(path.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) ||
      !::SetCurrentDirectoryW(path.c_str())) {
    return false;
  }
  // Written into, as the cache will be.
  const std::wstring probe = path + L"\\.gameshell-probe";
  const HANDLE file = ::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return false;
  }
  ::CloseHandle(file);
  return true;
}

}  // namespace gameshell::platform
