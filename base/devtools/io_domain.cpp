#include "base/devtools/io_domain.h"

#include "base/core/base64.h"

namespace gameshell {

IoDomain::IoDomain(DevToolsConnection& connection, std::string session_id)
    : connection_(connection), session_id_(std::move(session_id)) {}

void IoDomain::Read(const std::string& handle,
                    size_t bytes,
                    std::function<void(std::optional<std::string>, bool)> done) const {
  connection_.Send("IO.read", {{"handle", handle}, {"size", bytes}}, session_id_,
                   [done = std::move(done)](const DevToolsConnection::Answer& answer) {
                     if (!answer.ok()) {
                       done(std::nullopt, true);
                       return;
                     }
                     const std::string data = StringAt(answer.result, "data");
                     const bool end = BoolAt(answer.result, "eof");
                     if (!BoolAt(answer.result, "base64Encoded")) {
                       done(data, end);
                     } else if (std::optional<std::string> piece = Base64Decode(data)) {
                       done(std::move(piece), end);
                     } else {
                       done(std::nullopt, true);
                     }
                   });
}

void IoDomain::Close(const std::string& handle) const {
  connection_.Send("IO.close", {{"handle", handle}}, session_id_);
}

}  // namespace gameshell
