#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include "base/devtools/devtools_connection.h"

namespace gameshell {

// The streams one attached target's commands handed over (an answer's body taken as a stream),
// read a piece at a time. A copy sends the same commands. Thread: the shell's loop.
class IoDomain {
 public:
  IoDomain(DevToolsConnection& connection, std::string session_id);

  // The next piece of at most `bytes`; `done` hears it (nothing when the stream cannot be read)
  // and whether the stream ended with it.
  void Read(const std::string& handle,
            size_t bytes,
            std::function<void(std::optional<std::string> piece, bool end)> done) const;
  void Close(const std::string& handle) const;

 private:
  DevToolsConnection& connection_;
  std::string session_id_;
};

}  // namespace gameshell
