#pragma once

#include <optional>
#include <string>
#include <string_view>

// The host and port of URLs as the engine hands them over (already canonical). Engine-neutral and
// stateless; any thread.
namespace gameshell {

struct UrlAuthority {
  std::string host;         // lower case, without IPv6 brackets
  std::optional<int> port;  // only when spelled out
};

// "host", "host:port", "[v6]" or "[v6]:port".
UrlAuthority ParseHostPort(std::string_view host_port);

// The authority of "scheme://[user@]host[:port]/..."; nullopt when the URL has none.
std::optional<UrlAuthority> ParseUrlAuthority(std::string_view url);

}  // namespace gameshell
