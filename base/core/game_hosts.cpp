#include "base/core/game_hosts.h"

#include "base/core/ascii.h"
#include "base/core/url_authority.h"

namespace gameshell {
namespace {

std::optional<GameHosts::Entry> ParseEntry(std::string_view text) {
  std::string entry = AsciiLower(TrimBlanks(text));
  GameHosts::Entry parsed;
  if (entry.starts_with("*.")) {
    parsed.subdomains = true;
    entry.erase(0, 2);
  }
  UrlAuthority authority = ParseHostPort(entry);
  if (authority.host.empty() || authority.host.find('*') != std::string::npos) {
    return std::nullopt;
  }
  parsed.name = std::move(authority.host);
  parsed.port = authority.port;
  return parsed;
}

}  // namespace

std::optional<int> DefaultPort(std::string_view scheme) {
  if (scheme == "http" || scheme == "ws") {
    return 80;
  }
  if (scheme == "https" || scheme == "wss") {
    return 443;
  }
  return std::nullopt;
}

GameHosts::GameHosts(std::string_view login_host, std::string_view extra_hosts) {
  if (std::optional<Entry> entry = ParseEntry(login_host); entry && !entry->subdomains) {
    entries_.push_back(std::move(*entry));
  }
  while (!extra_hosts.empty()) {
    size_t comma = extra_hosts.find(',');
    if (std::optional<Entry> entry = ParseEntry(extra_hosts.substr(0, comma))) {
      entries_.push_back(std::move(*entry));
    }
    extra_hosts.remove_prefix(comma == std::string_view::npos ? extra_hosts.size() : comma + 1);
  }
}

bool GameHosts::AllowsOrigin(std::string_view scheme,
                             std::string_view host,
                             std::optional<int> port) const {
  const std::string lower_scheme = AsciiLower(scheme);
  const std::optional<int> default_port = DefaultPort(lower_scheme);
  const std::string name = AsciiLower(host);
  if (!default_port || name.empty()) {
    return false;
  }
  const int effective_port = port.value_or(*default_port);
  for (const Entry& entry : entries_) {
    const bool name_matches =
        entry.subdomains ? name.size() > entry.name.size() + 1 && name.ends_with(entry.name) &&
                               name[name.size() - entry.name.size() - 1] == '.'
                         : name == entry.name;
    if (name_matches && effective_port == entry.port.value_or(*default_port)) {
      return true;
    }
  }
  return false;
}

bool GameHosts::AllowsUrl(std::string_view url) const {
  const size_t colon = url.find("://");
  std::optional<UrlAuthority> authority = ParseUrlAuthority(url);
  return colon != std::string_view::npos && authority &&
         AllowsOrigin(url.substr(0, colon), authority->host, authority->port);
}

}  // namespace gameshell
