#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The game's own hosts: the only ones that may fill the resource cache, whose frames get the
// script bridge, and whose pages may read any host. Cache paths leave the host out on purpose
// (mirrors of the game's resource servers share one file), so any other host would write the
// game's own resources.
// Immutable after construction; any thread.
namespace gameshell {

class GameHosts {
 public:
  // One name of the list: exact, or every subdomain of `name` ("*.example.net"), on `port` or,
  // when none was written, on the default port of the address's scheme. Written with "https://",
  // the host is the game's over https and wss only; with "http://", over http and ws only;
  // without a scheme, over all four, as the list has always meant.
  struct Entry {
    std::string scheme;  // "http", "https", or empty: either
    std::string name;    // lower case, without IPv6 brackets
    std::optional<int> port;
    bool subdomains = false;
  };

  // `login_host` and each entry of the comma-separated `extra_hosts` may carry a scheme
  // ("https://") and a port. An entry with any other scheme, or a path, admits no one.
  // "*.example.net" admits every subdomain of example.net but not example.net itself.
  GameHosts(std::string_view login_host, std::string_view extra_hosts);

  // An origin of the game: http(s) or ws(s), a listed host, and the entry's port. `port` is the
  // one the address spells out; none stands for the scheme's default. Case-insensitive.
  bool AllowsOrigin(std::string_view scheme, std::string_view host, std::optional<int> port) const;
  // The same for an absolute address ("http://host:port/path?query").
  bool AllowsUrl(std::string_view url) const;

  // The login address is https: its files keep the URLs' own paths in the cache root.
  bool LoginOverHttps() const { return login_over_https_; }

  // The rule as data, for the pages' own script to apply the same rule.
  const std::vector<Entry>& entries() const { return entries_; }

 private:
  std::vector<Entry> entries_;
  bool login_over_https_ = false;
};

// 80 for http and ws, 443 for https and wss; none for other schemes. `scheme` is lower case.
std::optional<int> DefaultPort(std::string_view scheme);

// A host setting ("login.example.net", "https://login.example.net:8443") split into its scheme
// ("http" or "https", lower case; empty when none was written) and the rest; nullopt when it
// names another scheme or carries a path.
struct HostSetting {
  std::string scheme;
  std::string host_port;
};
std::optional<HostSetting> ParseHostSetting(std::string_view text);

}  // namespace gameshell
