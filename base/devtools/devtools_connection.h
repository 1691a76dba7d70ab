#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/devtools/message_framer.h"

namespace gameshell {

using Json = nlohmann::json;

// A member of a protocol object, or the default when it is missing or of another type: reading the
// browser's messages never throws.
std::string StringAt(const Json& object, std::string_view key);
int64_t IntAt(const Json& object, std::string_view key, int64_t otherwise = 0);
bool BoolAt(const Json& object, std::string_view key);
// An object member, or an empty object.
const Json& ObjectAt(const Json& object, std::string_view key);

// The shell's end of the browser's remote-debugging protocol: commands out with their ids,
// answers back to whoever sent them, events to whoever listens, each for the whole browser or for
// one attached target (its session). Knows nothing of the pipe: bytes go out through `write` and
// come in through Receive. Thread: the shell's loop.
class DevToolsConnection {
 public:
  struct Answer {
    Json result;        // the command's result, an object
    std::string error;  // empty when it succeeded
    bool ok() const { return error.empty(); }
  };
  using AnswerHandler = std::function<void(const Answer&)>;
  using EventHandler = std::function<void(const Json& params, const std::string& session_id)>;

  explicit DevToolsConnection(std::function<void(std::string bytes)> write,
                              DevToolsWire wire = DevToolsWire::kJson);
  DevToolsConnection(const DevToolsConnection&) = delete;
  DevToolsConnection& operator=(const DevToolsConnection&) = delete;

  // `session_id` empty: the browser itself. Once closed, `answer` hears the closing at once.
  void Send(std::string_view method,
            Json params,
            std::string_view session_id = {},
            AnswerHandler answer = {});
  // An answer handler that runs `done` whatever the answer (null stays null).
  static AnswerHandler Then(std::function<void()> done) {
    if (!done) {
      return {};
    }
    return [done = std::move(done)](const Answer&) { done(); };
  }
  // `bytes` as a command's parameter of the protocol's binary type: bytes on the CBOR wire,
  // base64 on the JSON one.
  Json Bytes(std::string_view bytes) const;
  // Every event of `method`, from the browser and every session, in order of listening.
  void Listen(std::string method, EventHandler handler);
  // Every event of `method` from one session, until it is forgotten; before those of Listen.
  void ListenOn(const std::string& session_id, std::string method, EventHandler handler);
  // The session's listeners go (its target is gone, or the shell let it go).
  void ForgetSession(const std::string& session_id);

  // What the browser wrote. False when it broke the protocol (the connection is closed then).
  bool Receive(std::string_view bytes);
  // Every command still waiting hears `reason`; nothing is sent or heard after.
  void Close(const std::string& reason);
  bool closed() const { return closed_; }

 private:
  bool Dispatch(const std::string& message);
  // The message as JSON, or nothing when it is not one; nothing either (and `unheard` set) for an
  // event nobody listens to.
  std::optional<Json> Parse(const std::string& message, bool& unheard) const;
  bool IsHeard(std::string_view method) const;

  std::function<void(std::string)> write_;
  const DevToolsWire wire_;
  MessageFramer framer_;
  int64_t next_id_ = 1;
  std::map<int64_t, AnswerHandler> waiting_;
  std::map<std::string, std::vector<EventHandler>, std::less<>> listeners_;
  // By session, then by method.
  std::map<std::string, std::map<std::string, std::vector<EventHandler>, std::less<>>, std::less<>>
      session_listeners_;
  bool closed_ = false;
};

}  // namespace gameshell
