#pragma once

#include <string>
#include <string_view>

// Conversions between the engine's UTF-16 text and the UTF-8 bytes of URLs, paths and files.
// Stateless; any thread.
namespace gameshell {

// An unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);
// A byte that starts no well-formed sequence (an overlong or cut one, a surrogate) becomes U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);

}  // namespace gameshell
