#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "base/devtools/devtools_connection.h"

namespace gameshell {

// The cache's own fetch of one address, run in a world of the shell's in the game window's
// document: the page's scripts neither see it nor stand in its way, it goes with the page's
// cookies as the page's own fetch would, and the browser checks the answer's framing and encoding
// as it does for that fetch. The answer is read a piece at a time, each handed to the shell as the
// evaluation's value: however far an answer decodes, no process holds more than a piece of it.
// Thread: the shell's loop.
class PageFetch {
 public:
  static constexpr size_t kPieceBytes = size_t{4} << 20;

  // Each piece of the answer's body in order, decoded as the page would read it; `go_on` says
  // whether to read the next.
  using PieceTaker = std::function<void(std::string piece, std::function<void(bool go_on)> go_on)>;
  struct Callbacks {
    PieceTaker piece;
    // Once, last: whether the body came whole (its length, its encoding's own end), as the page's
    // own fetch would have read it. False also when the reading stopped.
    std::function<void(bool whole)> ended;
    // Instead of the others, when the context was gone before the fetch was sent.
    std::function<void()> not_sent;
  };

  // In `context_id` of the page `session_id` attached to. An answer sent as it is (no encoding)
  // with a length up to `drained_up_to` is only read to its end, with no piece handed over: the
  // cache took it whole at its pause.
  static void Start(DevToolsConnection& connection,
                    const std::string& session_id,
                    int64_t context_id,
                    const std::string& url,
                    int64_t drained_up_to,
                    Callbacks callbacks);

 private:
  struct Reading;
  // With a `start_url`, starts the fetch first.
  static void ReadPiece(std::shared_ptr<Reading> reading, const std::string& start_url);
  static void Stop(const std::shared_ptr<Reading>& reading);
};

}  // namespace gameshell
