// A stand-in for the platform's launcher library on Windows: the two exports with the stdcall
// convention, plus two of its own for the tests to see what arrived and set the result.
#include <cstdint>
#include <string>

namespace {
std::wstring g_last_url;
bool g_last_url_null = false;
int32_t g_result = 0;
}  // namespace

extern "C" {

__declspec(dllexport) void __stdcall ZD_OpenPayUrl(const wchar_t* url) {
  g_last_url_null = url == nullptr;
  g_last_url = url ? url : L"";
}

__declspec(dllexport) int32_t __stdcall ZD_UserAuthentic(uintptr_t) {
  return g_result;
}

__declspec(dllexport) const wchar_t* __stdcall TestLastPayUrl(bool* was_null) {
  *was_null = g_last_url_null;
  return g_last_url.c_str();
}

__declspec(dllexport) void __stdcall TestSetAuthResult(int32_t result) {
  g_result = result;
}
}
