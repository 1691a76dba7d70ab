#pragma once

#include <string>
#include <string_view>
#include <vector>

// Which hosts may fill the resource cache. Cache paths leave the host out on purpose (mirrors of
// the game's resource servers share one file), so any other host would write the game's own
// resources; only the game's hosts are let in. Immutable after construction; any thread.
namespace gameshell {

class CacheHosts {
 public:
  // `login_host` may carry a port, which is ignored. `extra_hosts` is a comma-separated list of
  // names; "*.example.net" admits every subdomain of example.net but not example.net itself.
  CacheHosts(std::string_view login_host, std::string_view extra_hosts);

  // Case-insensitive; the port plays no part.
  bool Allows(std::string_view host) const;

 private:
  std::vector<std::string> exact_;
  std::vector<std::string> suffixes_;  // ".example.net" for "*.example.net"
};

}  // namespace gameshell
