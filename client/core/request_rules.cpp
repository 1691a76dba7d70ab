#include "client/core/request_rules.h"

#include <optional>

#include "base/core/private_network.h"
#include "base/core/url_authority.h"

namespace gameshell {

RequestVerdict JudgePageRequest(const PageRequest& request, const GameHosts& game_hosts) {
  if (request.kind == RequestKind::kWebSocket) {
    const std::optional<UrlAuthority> target = ParseUrlAuthority(request.url);
    return target && IsPrivateNetworkHost(target->host) && !game_hosts.AllowsUrl(request.url)
               ? RequestVerdict::kBlock
               : RequestVerdict::kAllow;
  }
  if (request.initiator.empty() ? request.started_by_shell
                                : game_hosts.AllowsUrl(request.initiator)) {
    return RequestVerdict::kAllow;
  }
  // The developer tools' own pages read what they inspect.
  if (request.initiator.starts_with("devtools:")) {
    return RequestVerdict::kAllow;
  }
  if (request.kind == RequestKind::kGameWindowNavigation) {
    return RequestVerdict::kRefuseNavigation;
  }
  const std::optional<UrlAuthority> target = ParseUrlAuthority(request.url);
  if (!target) {
    return RequestVerdict::kAllow;  // data:, blob:, about: carry no host to reach
  }
  if (IsPrivateNetworkHost(target->host)) {
    const std::optional<UrlAuthority> own = ParseUrlAuthority(request.initiator);
    if (!own || own->host != target->host) {
      return RequestVerdict::kBlock;
    }
  }
  if (request.kind == RequestKind::kSubresource && game_hosts.AllowsUrl(request.url)) {
    return RequestVerdict::kBlock;
  }
  return RequestVerdict::kAllow;
}

}  // namespace gameshell
