#pragma once

#include <functional>
#include <string>

#include "base/devtools/devtools_connection.h"

namespace gameshell {

// One attached page's network, asked directly: the fetch interception tells a failed answer only
// as "Failed", the network itself says why. A copy sends the same commands. Thread: the shell's
// loop.
class NetworkDomain {
 public:
  NetworkDomain(DevToolsConnection& connection, std::string session_id);

  // Loads `url` as `frame_id`'s document would (its certificate checks, without its cookies or
  // the browser's cache) and drops the body; `done` hears the network error (0: it loaded, or the
  // browser would not say).
  void Probe(const std::string& frame_id,
             const std::string& url,
             std::function<void(int net_error)> done) const;

  // The browser's errors of a certificate it refused (its "ERR_CERT_" range).
  static bool IsCertificateError(int net_error) { return net_error <= -200 && net_error > -300; }

 private:
  DevToolsConnection& connection_;
  std::string session_id_;
};

}  // namespace gameshell
