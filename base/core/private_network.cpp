#include "base/core/private_network.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "base/core/ascii.h"

namespace gameshell {
namespace {

// Dotted decimal only: the engine has already written every other IPv4 form this way.
std::optional<std::array<int, 4>> ParseIpv4(std::string_view text) {
  std::array<int, 4> parts{};
  size_t index = 0;
  int value = -1;
  for (char c : text) {
    if (c >= '0' && c <= '9') {
      value = (value < 0 ? 0 : value) * 10 + (c - '0');
      if (value > 255) {
        return std::nullopt;
      }
    } else if (c == '.' && value >= 0 && index < 3) {
      parts[index++] = value;
      value = -1;
    } else {
      return std::nullopt;
    }
  }
  if (value < 0 || index != 3) {
    return std::nullopt;
  }
  parts[3] = value;
  return parts;
}

bool IsPrivateIpv4(const std::array<int, 4>& a) {
  return a[0] == 127 || a[0] == 10 || a[0] == 0 || (a[0] == 172 && a[1] >= 16 && a[1] <= 31) ||
         (a[0] == 192 && a[1] == 168) || (a[0] == 169 && a[1] == 254);
}

// The sixteen bytes of an IPv6 address; nullopt when it is not one.
std::optional<std::array<uint8_t, 16>> ParseIpv6(std::string_view text) {
  std::array<uint16_t, 8> groups{};
  size_t count = 0;
  std::optional<size_t> gap;
  std::optional<std::array<int, 4>> tail_v4;
  if (text.starts_with("::")) {
    gap = 0;
    text.remove_prefix(2);
  }
  while (!text.empty()) {
    size_t colon = text.find(':');
    std::string_view group = text.substr(0, colon);
    if (group.find('.') != std::string_view::npos) {
      tail_v4 = ParseIpv4(group);
      if (!tail_v4 || colon != std::string_view::npos || count > 6) {
        return std::nullopt;
      }
      groups[count++] = static_cast<uint16_t>((*tail_v4)[0] << 8 | (*tail_v4)[1]);
      groups[count++] = static_cast<uint16_t>((*tail_v4)[2] << 8 | (*tail_v4)[3]);
      break;
    }
    if (group.empty() || group.size() > 4 || count >= 8) {
      return std::nullopt;
    }
    uint16_t value = 0;
    for (char c : group) {
      const char lower = ToAsciiLower(c);
      const int digit = lower >= '0' && lower <= '9'   ? lower - '0'
                        : lower >= 'a' && lower <= 'f' ? lower - 'a' + 10
                                                       : -1;
      if (digit < 0) {
        return std::nullopt;
      }
      value = static_cast<uint16_t>(value << 4 | digit);
    }
    groups[count++] = value;
    if (colon == std::string_view::npos) {
      break;
    }
    text.remove_prefix(colon + 1);
    if (text.starts_with(":")) {
      if (gap) {
        return std::nullopt;
      }
      gap = count;
      text.remove_prefix(1);
    }
  }
  if (gap ? count > 7 : count != 8) {
    return std::nullopt;
  }
  std::array<uint16_t, 8> full{};
  const size_t before = gap.value_or(count);
  for (size_t i = 0; i < before; ++i) {
    full[i] = groups[i];
  }
  for (size_t i = before; i < count; ++i) {
    full[8 - (count - i)] = groups[i];
  }
  std::array<uint8_t, 16> bytes{};
  for (size_t i = 0; i < 8; ++i) {
    bytes[2 * i] = static_cast<uint8_t>(full[i] >> 8);
    bytes[2 * i + 1] = static_cast<uint8_t>(full[i] & 0xFF);
  }
  return bytes;
}

bool IsPrivateIpv6(const std::array<uint8_t, 16>& b) {
  bool zero_prefix = true;
  for (size_t i = 0; i < 10; ++i) {
    zero_prefix = zero_prefix && b[i] == 0;
  }
  // ::, ::1, and IPv4 inside IPv6 (::a.b.c.d and ::ffff:a.b.c.d).
  if (zero_prefix && ((b[10] == 0 && b[11] == 0) || (b[10] == 0xFF && b[11] == 0xFF))) {
    const bool v4_tail = b[12] | b[13];
    if (!v4_tail && b[10] == 0 && b[14] == 0 && b[15] <= 1) {
      return true;
    }
    return IsPrivateIpv4({b[12], b[13], b[14], b[15]});
  }
  return (b[0] & 0xFE) == 0xFC || (b[0] == 0xFE && (b[1] & 0xC0) == 0x80);
}

}  // namespace

bool IsPrivateNetworkHost(std::string_view host) {
  const std::string name = AsciiLower(host);
  std::string_view bare = name;
  while (bare.ends_with('.')) {
    bare.remove_suffix(1);
  }
  if (bare == "localhost" || bare.ends_with(".localhost")) {
    return true;
  }
  if (std::optional<std::array<int, 4>> v4 = ParseIpv4(bare)) {
    return IsPrivateIpv4(*v4);
  }
  if (std::optional<std::array<uint8_t, 16>> v6 = ParseIpv6(bare)) {
    return IsPrivateIpv6(*v6);
  }
  // A name of one label is looked up on this machine and its network alone (/etc/hosts'
  // "ip6-localhost", the machine's own name, a neighbour's), and so are the names of the local
  // network's own domains.
  if (!bare.empty() && bare.find_first_of(".:") == std::string_view::npos) {
    return true;
  }
  for (std::string_view local : {".local", ".lan", ".home.arpa", ".internal"}) {
    if (bare.ends_with(local)) {
      return true;
    }
  }
  return false;
}

}  // namespace gameshell
