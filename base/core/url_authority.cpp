#include "base/core/url_authority.h"

#include <algorithm>

#include "base/core/ascii.h"

namespace gameshell {

UrlAuthority ParseHostPort(std::string_view host_port) {
  UrlAuthority authority;
  std::string_view host = host_port;
  std::string_view port;
  if (host_port.starts_with('[')) {
    size_t close = host_port.find(']');
    host =
        host_port.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1);
    if (close != std::string_view::npos && close + 1 < host_port.size() &&
        host_port[close + 1] == ':') {
      port = host_port.substr(close + 2);
    }
  } else if (size_t colon = host_port.rfind(':'); colon != std::string_view::npos) {
    host = host_port.substr(0, colon);
    port = host_port.substr(colon + 1);
  }
  authority.host = AsciiLower(host);
  if (!port.empty() && port.size() <= 5 &&
      std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    authority.port = std::stoi(std::string(port));
  }
  return authority;
}

std::optional<UrlAuthority> ParseUrlAuthority(std::string_view url) {
  size_t scheme_end = url.find("://");
  if (scheme_end == std::string_view::npos || scheme_end == 0) {
    return std::nullopt;
  }
  std::string_view rest = url.substr(scheme_end + 3);
  std::string_view authority = rest.substr(0, rest.find_first_of("/?#\\"));
  if (size_t at = authority.rfind('@'); at != std::string_view::npos) {
    authority.remove_prefix(at + 1);
  }
  return ParseHostPort(authority);
}

}  // namespace gameshell
