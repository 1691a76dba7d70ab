// A stand-in for the platform's launcher library. Each call appends one line to the file named by
// ZD_TEST_RECORD; ZD_UserAuthentic returns the number in ZD_TEST_RESULT.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

void Record(const std::string& line) {
  if (const char* path = std::getenv("ZD_TEST_RECORD")) {
    if (FILE* file = std::fopen(path, "a")) {
      std::fprintf(file, "%s\n", line.c_str());
      std::fclose(file);
    }
  }
}

// The UTF-16 code units in hex, so the test sees exactly what arrived.
std::string Units(const char16_t* text) {
  std::string out;
  char unit[8];
  for (; *text; ++text) {
    std::snprintf(unit, sizeof unit, "%04x ", static_cast<unsigned>(*text));
    out += unit;
  }
  return out;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) void ZD_OpenPayUrl(const char16_t* url) {
  Record(url ? "pay " + Units(url) : std::string("pay null"));
}

extern "C" __attribute__((visibility("default"))) int32_t ZD_UserAuthentic(uintptr_t window) {
  Record("auth " + std::string(window ? "window" : "no-window"));
  const char* result = std::getenv("ZD_TEST_RESULT");
  return result ? static_cast<int32_t>(std::strtoll(result, nullptr, 10)) : 0;
}
