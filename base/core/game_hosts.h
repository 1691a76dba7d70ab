#pragma once

#include <string>
#include <string_view>
#include <vector>

// The game's own hosts: the only ones that may fill the resource cache, and the only ones whose
// frames get the script bridge. Cache paths leave the host out on purpose (mirrors of the game's
// resource servers share one file), so any other host would write the game's own resources.
// Immutable after construction; any thread.
namespace gameshell {

class GameHosts {
 public:
  // `login_host` may carry a port, which is ignored. `extra_hosts` is a comma-separated list of
  // names; "*.example.net" admits every subdomain of example.net but not example.net itself.
  GameHosts(std::string_view login_host, std::string_view extra_hosts);

  // Case-insensitive; the port plays no part.
  bool Allows(std::string_view host) const;

  // The rule as data, for checks that run elsewhere (the pages' own script): lower-case names
  // allowed as they are, and endings (".example.net") whose subdomains are allowed.
  const std::vector<std::string>& exact() const { return exact_; }
  const std::vector<std::string>& suffixes() const { return suffixes_; }

 private:
  std::vector<std::string> exact_;
  std::vector<std::string> suffixes_;  // ".example.net" for "*.example.net"
};

}  // namespace gameshell
