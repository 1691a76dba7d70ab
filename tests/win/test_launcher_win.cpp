// A stand-in for the platform's launcher library on Windows: the two exports with the stdcall
// convention, plus two of its own for the tests to see what arrived and set the result.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {
std::wstring g_last_url;
bool g_last_url_null = false;
int32_t g_result = 0;

// Where a shell under test loaded it: each call as a line of the file ZD_TEST_RECORD names.
void Record(const std::string& line) {
  if (const char* path = std::getenv("ZD_TEST_RECORD")) {
    if (FILE* file = std::fopen(path, "a")) {
      std::fprintf(file, "%s\n", line.c_str());
      std::fclose(file);
    }
  }
}
}  // namespace

extern "C" {

__declspec(dllexport) void __stdcall ZD_OpenPayUrl(const wchar_t* url) {
  g_last_url_null = url == nullptr;
  g_last_url = url ? url : L"";
  char utf8[1024] = {};
  ::WideCharToMultiByte(CP_UTF8, 0, g_last_url.c_str(), -1, utf8, sizeof utf8, nullptr, nullptr);
  Record(std::string("pay ") + utf8);
}

__declspec(dllexport) int32_t __stdcall ZD_UserAuthentic(uintptr_t window) {
  Record("auth " + std::string(window ? "window" : "none"));
  const char* result = std::getenv("ZD_TEST_RESULT");
  return result ? static_cast<int32_t>(std::strtol(result, nullptr, 10)) : g_result;
}

__declspec(dllexport) const wchar_t* __stdcall TestLastPayUrl(bool* was_null) {
  *was_null = g_last_url_null;
  return g_last_url.c_str();
}

__declspec(dllexport) void __stdcall TestSetAuthResult(int32_t result) {
  g_result = result;
}
}
