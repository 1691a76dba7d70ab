#include "platform/process_environment.h"

#include <windows.h>

#include <string>

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

}  // namespace gameshell::platform
