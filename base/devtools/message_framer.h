#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace gameshell {

// The browser's remote-debugging pipe carries JSON messages each ended by a NUL byte; reads end
// anywhere. Splits what was read into messages. Thread: one at a time.
class MessageFramer {
 public:
  // Past this, a message is taken for a broken peer rather than held: the largest the shell asks
  // for is a cached file's body, base64-encoded.
  static constexpr size_t kMaxMessageBytes = size_t{512} << 20;

  explicit MessageFramer(size_t max_message_bytes = kMaxMessageBytes)
      : max_message_bytes_(max_message_bytes) {}

  // False once the stream is broken (a message over the limit); everything after is refused.
  bool Feed(std::string_view bytes);
  // The next whole message, without its NUL.
  std::optional<std::string> Next();

  // `message` as the pipe carries it.
  static std::string Frame(std::string_view message);

 private:
  const size_t max_message_bytes_;
  std::string buffer_;
  size_t start_ = 0;    // the next message's first byte
  size_t scanned_ = 0;  // bytes from start_ known to hold no NUL
  bool broken_ = false;
};

}  // namespace gameshell
