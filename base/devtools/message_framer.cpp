#include "base/devtools/message_framer.h"

namespace gameshell {

bool MessageFramer::Feed(std::string_view bytes) {
  if (broken_) {
    return false;
  }
  // Whole messages are handed out before the next read: drop them so the buffer stays one
  // message long.
  if (start_ > 0) {
    buffer_.erase(0, start_);
    start_ = 0;
  }
  buffer_.append(bytes);
  const size_t end = buffer_.find('\0', scanned_);
  const size_t pending = end == std::string::npos ? buffer_.size() : end;
  if (pending > max_message_bytes_) {
    broken_ = true;
    buffer_.clear();
    scanned_ = 0;
    return false;
  }
  return true;
}

std::optional<std::string> MessageFramer::Next() {
  if (broken_) {
    return std::nullopt;
  }
  const size_t end = buffer_.find('\0', start_ + scanned_);
  if (end == std::string::npos) {
    scanned_ = buffer_.size() - start_;
    return std::nullopt;
  }
  std::string message = buffer_.substr(start_, end - start_);
  start_ = end + 1;
  scanned_ = 0;
  return message;
}

std::string MessageFramer::Frame(std::string_view message) {
  std::string framed;
  framed.reserve(message.size() + 1);
  framed.append(message);
  framed.push_back('\0');
  return framed;
}

}  // namespace gameshell
