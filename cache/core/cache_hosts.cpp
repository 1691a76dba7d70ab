#include "cache/core/cache_hosts.h"

#include "app/core/url_authority.h"

#include <algorithm>

namespace gameshell {
namespace {

std::string Lower(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) {
    return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  });
  return out;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
    text.remove_prefix(1);
  }
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
    text.remove_suffix(1);
  }
  return text;
}

}  // namespace

CacheHosts::CacheHosts(std::string_view login_host, std::string_view extra_hosts) {
  if (std::string host = ParseHostPort(Trim(login_host)).host; !host.empty()) {
    exact_.push_back(std::move(host));
  }
  while (!extra_hosts.empty()) {
    size_t comma = extra_hosts.find(',');
    std::string entry = Lower(Trim(extra_hosts.substr(0, comma)));
    extra_hosts.remove_prefix(comma == std::string_view::npos ? extra_hosts.size() : comma + 1);
    if (entry.starts_with("*.") && entry.size() > 2) {
      suffixes_.push_back(entry.substr(1));
    } else if (!entry.empty() && entry.find('*') == std::string::npos) {
      exact_.push_back(ParseHostPort(entry).host);
    }
  }
}

bool CacheHosts::Allows(std::string_view host) const {
  const std::string name = Lower(host);
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
