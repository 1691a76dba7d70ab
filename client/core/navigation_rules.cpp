#include "client/core/navigation_rules.h"

#include <array>
#include <string>

#include "base/core/ascii.h"

namespace gameshell {

bool IsRefusedNavigationUrl(std::string_view url, bool dev_tools_page) {
  if (url.find("file://") != std::string_view::npos) {
    return true;
  }
  size_t colon = url.find(':');
  if (colon == std::string_view::npos) {
    return true;
  }
  const std::string scheme = AsciiLower(url.substr(0, colon));
  static constexpr std::array<std::string_view, 7> kAllowed = {
      "http", "https", "gameshell-cache", "gameshell-caches", "about", "data", "blob"};
  for (std::string_view allowed : kAllowed) {
    if (scheme == allowed) {
      return false;
    }
  }
  return !(dev_tools_page && scheme == "devtools");
}

bool IsRefusedGameWindowNavigation(std::string_view url,
                                   bool history_move,
                                   const GameHosts& hosts) {
  if (history_move) {
    return true;
  }
  const size_t colon = url.find(':');
  const std::string scheme = AsciiLower(url.substr(0, colon));
  if (scheme == "about") {
    return true;
  }
  // A blob's address carries the origin that made it: "blob:http://host:port/uuid".
  return scheme == "blob" && !hosts.AllowsUrl(url.substr(colon + 1));
}

}  // namespace gameshell
