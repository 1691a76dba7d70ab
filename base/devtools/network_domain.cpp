#include "base/devtools/network_domain.h"

namespace gameshell {

NetworkDomain::NetworkDomain(DevToolsConnection& connection, std::string session_id)
    : connection_(connection), session_id_(std::move(session_id)) {}

void NetworkDomain::Probe(const std::string& frame_id,
                          const std::string& url,
                          std::function<void(int)> done) const {
  connection_.Send("Network.loadNetworkResource",
                   {{"frameId", frame_id},
                    {"url", url},
                    {"options", {{"disableCache", true}, {"includeCredentials", false}}}},
                   session_id_, [done = std::move(done)](const DevToolsConnection::Answer& answer) {
                     const Json& resource = ObjectAt(answer.result, "resource");
                     done(static_cast<int>(IntAt(resource, "netError")));
                   });
}

}  // namespace gameshell
