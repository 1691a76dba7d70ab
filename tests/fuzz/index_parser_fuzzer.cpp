// Any index file text must parse without fault, and what it parses to must survive a save and a
// reload unchanged (entries that cannot be written are the only ones allowed to drop out).
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>

#include "cache/core/cache_index.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::map<std::string, std::string> parsed;
  gameshell::ParseIndex(std::string_view(reinterpret_cast<const char*>(data), size), parsed);
  std::map<std::string, std::string> reparsed;
  gameshell::ParseIndex(gameshell::SerializeIndex(parsed), reparsed);
  for (const auto& [key, value] : reparsed) {
    auto it = parsed.find(key);
    if (it == parsed.end() || it->second != value) {
      std::abort();
    }
  }
  for (const auto& [key, value] : parsed) {
    bool writable = key.find_first_of(" \r\n") == std::string::npos &&
                    value.find_first_of("\r\n") == std::string::npos;
    if (writable && !reparsed.count(key)) {
      std::abort();
    }
  }
  return 0;
}
