#pragma once

#include <string>
#include <string_view>

// ASCII-only case folding and trimming for the protocol text the shell compares: schemes, hosts,
// header values, file names. Bytes outside A-Z (UTF-8 included) are left as they are. Stateless;
// any thread.
namespace gameshell {

constexpr char ToAsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr char16_t ToAsciiLower(char16_t c) {
  return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

std::string AsciiLower(std::string_view text);

// The value of a hexadecimal digit of either case, or -1.
constexpr int HexDigitValue(char c) {
  return c >= '0' && c <= '9'   ? c - '0'
         : c >= 'a' && c <= 'f' ? c - 'a' + 10
         : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                : -1;
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);

// `prefix` is lower-case ASCII.
bool StartsWithIgnoringAsciiCase(std::u16string_view text, std::string_view prefix);
bool StartsWithIgnoringAsciiCase(std::string_view text, std::string_view prefix);

// Without leading and trailing blanks and tabs.
std::string_view TrimBlanks(std::string_view text);

}  // namespace gameshell
