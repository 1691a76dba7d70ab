#include "base/core/remote_debugging_port.h"

#include "base/core/url_authority.h"

namespace gameshell {

bool IsRemoteDebuggingUrl(std::string_view url) {
  std::optional<UrlAuthority> authority = ParseUrlAuthority(url);
  return authority && authority->port == kRemoteDebuggingPort;
}

}  // namespace gameshell
