#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace gameshell {

// How messages go over the browser's remote-debugging pipe: JSON text each ended by a NUL byte,
// or CBOR (`--remote-debugging-pipe=cbor`) each in an envelope that says its length.
enum class DevToolsWire { kJson, kCbor };

// Splits what was read from the pipe (reads end anywhere) into messages. Thread: one at a time.
class MessageFramer {
 public:
  // Past this, a message is taken for a broken peer rather than held: the largest the shell asks
  // for is a cached file's body, base64-encoded.
  static constexpr size_t kMaxMessageBytes = size_t{512} << 20;

  explicit MessageFramer(DevToolsWire wire = DevToolsWire::kJson,
                         size_t max_message_bytes = kMaxMessageBytes)
      : wire_(wire), max_message_bytes_(max_message_bytes) {}

  // False once the stream is broken (a message over the limit, or no envelope where a CBOR
  // message starts); everything after is refused.
  bool Feed(std::string_view bytes);
  // The next whole message: JSON without its NUL, CBOR with its envelope.
  std::optional<std::string> Next();
  bool broken() const { return broken_; }

  // A JSON `message` as the pipe carries it (a CBOR message carries its own envelope).
  static std::string Frame(std::string_view message);

 private:
  // The length of the CBOR message at start_, once its envelope's head is there; false when the
  // head is not an envelope or the message is over the limit.
  bool CborLength(std::optional<size_t>& length);
  void Break();

  const DevToolsWire wire_;
  const size_t max_message_bytes_;
  std::string buffer_;
  size_t start_ = 0;    // the next message's first byte
  size_t scanned_ = 0;  // bytes from start_ known to hold no NUL
  bool broken_ = false;
};

}  // namespace gameshell
