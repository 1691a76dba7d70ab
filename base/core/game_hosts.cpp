#include "base/core/game_hosts.h"

#include "base/core/ascii.h"
#include "base/core/url_authority.h"

namespace gameshell {
GameHosts::GameHosts(std::string_view login_host, std::string_view extra_hosts) {
  if (std::string host = ParseHostPort(TrimBlanks(login_host)).host; !host.empty()) {
    exact_.push_back(std::move(host));
  }
  while (!extra_hosts.empty()) {
    size_t comma = extra_hosts.find(',');
    std::string entry = AsciiLower(TrimBlanks(extra_hosts.substr(0, comma)));
    extra_hosts.remove_prefix(comma == std::string_view::npos ? extra_hosts.size() : comma + 1);
    if (entry.starts_with("*.") && entry.size() > 2) {
      suffixes_.push_back(entry.substr(1));
    } else if (!entry.empty() && entry.find('*') == std::string::npos) {
      exact_.push_back(ParseHostPort(entry).host);
    }
  }
}

bool GameHosts::Allows(std::string_view host) const {
  const std::string name = AsciiLower(host);
  if (name.empty()) {
    return false;
  }
  for (const std::string& exact : exact_) {
    if (name == exact) {
      return true;
    }
  }
  for (const std::string& suffix : suffixes_) {
    if (name.size() > suffix.size() && name.ends_with(suffix)) {
      return true;
    }
  }
  return false;
}

}  // namespace gameshell
