// Whatever the browser's pipe carries must decode without fault, into strings that are valid
// UTF-8 (the rest of the shell dumps them as JSON, which throws on anything else), and what
// decodes must survive being sent back unchanged.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "base/devtools/cbor_message.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto decoded =
      gameshell::DecodeCborMessage(std::string_view(reinterpret_cast<const char*>(data), size));
  (void)gameshell::CborEventMethod(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!decoded) {
    return 0;
  }
  (void)decoded->dump();  // throws, and so aborts, on a string that is not UTF-8
  // Integers past 32 bits go back as doubles: only messages without them must come back equal.
  const auto again = gameshell::DecodeCborMessage(gameshell::EncodeCborMessage(*decoded));
  if (!again ||
      (again->dump() != decoded->dump() && again->dump().find('.') == std::string::npos)) {
    std::abort();
  }
  return 0;
}
