#pragma once

#include <optional>
#include <string>
#include <string_view>

// Base64 (RFC 4648, with padding), as the browser's remote-debugging protocol carries bodies.
// Stateless; any thread.
namespace gameshell {

std::string Base64Encode(std::string_view bytes);
// Nothing for text that is not base64 (a character outside the alphabet, a bad length or padding).
std::optional<std::string> Base64Decode(std::string_view text);

}  // namespace gameshell
