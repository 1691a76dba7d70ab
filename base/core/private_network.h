#pragma once

#include <string_view>

// Engine-neutral and stateless; any thread.
namespace gameshell {

// True for a host (as an address spells it: lower case, IPv6 without brackets) that names this
// machine or the player's own network: loopback (127.0.0.0/8, ::1, "localhost" and its
// subdomains, which the engine resolves to loopback itself), the unspecified address, private
// ranges (10/8, 172.16/12, 192.168/16, fc00::/7), link-local (169.254/16, fe80::/10), and IPv4
// addresses written inside IPv6; and names only this machine or its network resolve: a name of
// one label ("ip6-localhost", the machine's own name, a neighbour's) and the local network's
// domains (.local, .lan, .home.arpa, .internal). Other names that happen to resolve to such an
// address are not seen here.
bool IsPrivateNetworkHost(std::string_view host);

}  // namespace gameshell
