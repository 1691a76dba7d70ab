#include "base/devtools/message_framer.h"

#include "base/devtools/cbor_message.h"

namespace gameshell {

void MessageFramer::Break() {
  broken_ = true;
  buffer_.clear();
  start_ = 0;
  scanned_ = 0;
}

bool MessageFramer::CborLength(std::optional<size_t>& length) {
  length.reset();
  if (buffer_.size() - start_ < kCborEnvelopeHeadBytes) {
    return true;
  }
  const std::optional<size_t> content =
      CborEnvelopeLength(std::string_view(buffer_).substr(start_, kCborEnvelopeHeadBytes));
  if (!content || *content > max_message_bytes_) {
    return false;
  }
  length = kCborEnvelopeHeadBytes + *content;
  return true;
}

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
  if (wire_ == DevToolsWire::kCbor) {
    std::optional<size_t> length;
    if (!CborLength(length)) {
      Break();
      return false;
    }
    return true;
  }
  const size_t end = buffer_.find('\0', scanned_);
  const size_t pending = end == std::string::npos ? buffer_.size() : end;
  if (pending > max_message_bytes_) {
    Break();
    return false;
  }
  return true;
}

std::optional<std::string> MessageFramer::Next() {
  if (broken_) {
    return std::nullopt;
  }
  if (wire_ == DevToolsWire::kCbor) {
    std::optional<size_t> length;
    if (!CborLength(length)) {
      Break();
      return std::nullopt;
    }
    if (!length || buffer_.size() - start_ < *length) {
      return std::nullopt;
    }
    std::string message = buffer_.substr(start_, *length);
    start_ += *length;
    return message;
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
