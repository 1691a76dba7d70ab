#include "base/core/game_hosts.h"

#include "base/core/ascii.h"
#include "base/core/url_authority.h"

namespace gameshell {
namespace {

std::optional<GameHosts::Entry> ParseEntry(std::string_view text) {
  std::optional<HostSetting> setting = ParseHostSetting(text);
  if (!setting) {
    return std::nullopt;
  }
  std::string entry = AsciiLower(setting->host_port);
  GameHosts::Entry parsed;
  parsed.scheme = std::move(setting->scheme);
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

// True when an address of `scheme` reaches a host of the entry's scheme: https and wss travel the
// same secured connection, http and ws the same plain one.
bool SchemeMatches(std::string_view entry_scheme, std::string_view scheme) {
  if (entry_scheme.empty()) {
    return true;
  }
  const bool secure = scheme == "https" || scheme == "wss";
  return entry_scheme == (secure ? "https" : "http");
}

}  // namespace

std::optional<HostSetting> ParseHostSetting(std::string_view text) {
  text = TrimBlanks(text);
  HostSetting setting;
  if (const size_t separator = text.find("://"); separator != std::string_view::npos) {
    setting.scheme = AsciiLower(text.substr(0, separator));
    if (setting.scheme != "http" && setting.scheme != "https") {
      return std::nullopt;
    }
    text.remove_prefix(separator + 3);
    // "https://host/" as an operator may paste it: the slash ends the host, nothing follows.
    if (text.ends_with('/')) {
      text.remove_suffix(1);
    }
  }
  if (text.find_first_of("/?#@") != std::string_view::npos) {
    return std::nullopt;
  }
  setting.host_port = std::string(text);
  return setting;
}

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
    login_over_https_ = entry->scheme == "https";
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
    if (name_matches && SchemeMatches(entry.scheme, lower_scheme) &&
        effective_port == entry.port.value_or(*default_port)) {
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
