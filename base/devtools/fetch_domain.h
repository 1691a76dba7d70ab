#pragma once

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/devtools/devtools_connection.h"
#include "base/devtools/io_domain.h"

namespace gameshell {

// One attached target's requests, each paused before it is sent (and, where asked, again when its
// answer has arrived) until the shell lets it go on, fails it or answers it. A copy sends the same
// commands: callbacks keep one rather than the object, which goes with its target. Thread: the
// shell's loop.
class FetchDomain {
 public:
  using Headers = std::vector<std::pair<std::string, std::string>>;

  struct PausedRequest {
    std::string id;
    std::string url;           // with its fragment
    std::string url_fragment;  // "#..." or empty; never sent
    std::string method;
    Json headers;                // name to value, as the page sent them
    std::string resource_type;   // "Document", "Script", "Image", "XHR", "Fetch", ...
    std::string frame_id;        // the frame the request is for
    std::optional<int> status;   // set when paused at its answer
    Headers response_headers;    // the answer's, when paused at it
    bool failed_answer = false;  // paused at an answer that is a network error
  };

  FetchDomain(DevToolsConnection& connection, std::string session_id);

  // Every request of the target pauses before it is sent, once `done` runs.
  void Enable(std::function<void()> done = {});
  void OnRequestPaused(std::function<void(const PausedRequest&)> paused);

  // On unchanged; `pause_answer` pauses it again when its answer arrives.
  void Continue(const std::string& id, bool pause_answer = false) const;
  // At its answer: on with these headers instead.
  void ContinueAnswer(const std::string& id, int status, const Headers& headers) const;
  // `reason`: one of the protocol's network errors ("Failed", "Aborted", "AccessDenied",
  // "BlockedByClient", ...).
  void Fail(const std::string& id, const std::string& reason) const;
  void Fulfill(const std::string& id,
               int status,
               const Headers& headers,
               std::string_view body) const;
  // At its answer: the body the page will get (decoded); nothing when it is not to be had.
  void TakeAnswerBody(const std::string& id,
                      std::function<void(std::optional<std::string> body)> body) const;
  // At its answer: the body as a stream for `Streams()` (nothing when it is not to be had). The
  // request then goes on only as answered or failed.
  void TakeAnswerBodyAsStream(const std::string& id,
                              std::function<void(std::optional<std::string> handle)> done) const;
  IoDomain Streams() const { return IoDomain(connection_, session_id_); }

  // The value of a header (any case of its name), or nothing.
  static std::optional<std::string> Header(const Headers& headers, std::string_view name);
  static std::optional<std::string> RequestHeader(const Json& headers, std::string_view name);

 private:
  DevToolsConnection& connection_;
  const std::string session_id_;
};

}  // namespace gameshell
