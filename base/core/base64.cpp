#include "base/core/base64.h"

#include <array>
#include <cstdint>

namespace gameshell {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<int8_t, 256> DecodingTable() {
  std::array<int8_t, 256> table{};
  for (auto& value : table) {
    value = -1;
  }
  for (int i = 0; i < 64; ++i) {
    table[static_cast<unsigned char>(kAlphabet[i])] = static_cast<int8_t>(i);
  }
  return table;
}

}  // namespace

std::string Base64Encode(std::string_view bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const uint32_t group = (static_cast<uint8_t>(bytes[i]) << 16) |
                           (static_cast<uint8_t>(bytes[i + 1]) << 8) |
                           static_cast<uint8_t>(bytes[i + 2]);
    out += kAlphabet[(group >> 18) & 63];
    out += kAlphabet[(group >> 12) & 63];
    out += kAlphabet[(group >> 6) & 63];
    out += kAlphabet[group & 63];
  }
  if (const size_t rest = bytes.size() - i; rest > 0) {
    uint32_t group = static_cast<uint8_t>(bytes[i]) << 16;
    if (rest == 2) {
      group |= static_cast<uint8_t>(bytes[i + 1]) << 8;
    }
    out += kAlphabet[(group >> 18) & 63];
    out += kAlphabet[(group >> 12) & 63];
    out += rest == 2 ? kAlphabet[(group >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

std::optional<std::string> Base64Decode(std::string_view text) {
  static constexpr std::array<int8_t, 256> kTable = DecodingTable();
  if (text.size() % 4 != 0) {
    return std::nullopt;
  }
  std::string out;
  out.reserve(text.size() / 4 * 3);
  for (size_t i = 0; i < text.size(); i += 4) {
    const bool last = i + 4 == text.size();
    const int padding = last ? (text[i + 3] == '=') + (text[i + 2] == '=') : 0;
    if (padding == 1 && text[i + 2] == '=') {
      return std::nullopt;  // "x=y=" is no padding
    }
    uint32_t group = 0;
    for (int k = 0; k < 4 - padding; ++k) {
      const int8_t value = kTable[static_cast<unsigned char>(text[i + k])];
      if (value < 0) {
        return std::nullopt;
      }
      group |= static_cast<uint32_t>(value) << (18 - 6 * k);
    }
    out += static_cast<char>((group >> 16) & 0xFF);
    if (padding < 2) {
      out += static_cast<char>((group >> 8) & 0xFF);
    }
    if (padding < 1) {
      out += static_cast<char>(group & 0xFF);
    }
  }
  return out;
}

}  // namespace gameshell
