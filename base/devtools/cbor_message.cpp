#include "base/devtools/cbor_message.h"

#include <bit>
#include <cstdint>
#include <limits>

#include "base/core/text_conversion.h"

namespace gameshell {

namespace {

using Json = nlohmann::json;

// A head's major type, its top three bits.
enum Major : uint8_t {
  kMajorUnsigned,
  kMajorNegative,
  kMajorBytes,
  kMajorText,
  kMajorArray,
  kMajorMap,
  kMajorTag,
  kMajorSimple,
};
constexpr uint8_t kIndefinite = 31;
constexpr uint8_t kBreak = 0xff;
constexpr uint8_t kEnvelopeTag = 24;
constexpr uint8_t kBytesTag = 22;
// Deeper than any message the shell reads; the browser's own limit is about as deep.
constexpr int kMaxDepth = 300;

void PutHead(std::string& out, uint8_t major, uint64_t value) {
  const auto first = static_cast<char>(major << 5);
  if (value < 24) {
    out += static_cast<char>(first | static_cast<char>(value));
    return;
  }
  int bytes = 8;
  uint8_t info = 27;
  if (value <= 0xff) {
    bytes = 1;
    info = 24;
  } else if (value <= 0xffff) {
    bytes = 2;
    info = 25;
  } else if (value <= 0xffffffff) {
    bytes = 4;
    info = 26;
  }
  out += static_cast<char>(first | static_cast<char>(info));
  for (int shift = (bytes - 1) * 8; shift >= 0; shift -= 8) {
    out += static_cast<char>((value >> shift) & 0xff);
  }
}

void PutDouble(std::string& out, double value) {
  const auto bits = std::bit_cast<uint64_t>(value);
  out += static_cast<char>(0xfb);
  for (int shift = 56; shift >= 0; shift -= 8) {
    out += static_cast<char>((bits >> shift) & 0xff);
  }
}

void PutText(std::string& out, std::string_view text) {
  PutHead(out, kMajorText, text.size());
  out.append(text);
}

void Encode(std::string& out, const Json& value);

// The envelope's length is written once its content is.
template <typename Content>
void PutEnvelope(std::string& out, char start, Content content) {
  out += static_cast<char>(0xd8);
  out += static_cast<char>(kEnvelopeTag);
  out += static_cast<char>(0x5a);
  const size_t length_at = out.size();
  out.append(4, '\0');
  out += start;
  content();
  out += static_cast<char>(kBreak);
  const uint64_t length = out.size() - length_at - 4;
  for (int i = 0; i < 4; ++i) {
    out[length_at + i] = static_cast<char>((length >> (24 - 8 * i)) & 0xff);
  }
}

void Encode(std::string& out, const Json& value) {
  switch (value.type()) {
    case Json::value_t::null:
    case Json::value_t::discarded:
      out += static_cast<char>(0xf6);
      return;
    case Json::value_t::boolean:
      out += static_cast<char>(value.get<bool>() ? 0xf5 : 0xf4);
      return;
    case Json::value_t::number_integer: {
      const int64_t number = value.get<int64_t>();
      if (number >= std::numeric_limits<int32_t>::min() &&
          number <= std::numeric_limits<int32_t>::max()) {
        number >= 0 ? PutHead(out, kMajorUnsigned, static_cast<uint64_t>(number))
                    : PutHead(out, kMajorNegative, static_cast<uint64_t>(-1 - number));
      } else {
        PutDouble(out, static_cast<double>(number));
      }
      return;
    }
    case Json::value_t::number_unsigned: {
      const uint64_t number = value.get<uint64_t>();
      if (number <= static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) {
        PutHead(out, kMajorUnsigned, number);
      } else {
        PutDouble(out, static_cast<double>(number));
      }
      return;
    }
    case Json::value_t::number_float:
      PutDouble(out, value.get<double>());
      return;
    case Json::value_t::string:
      PutText(out, value.get_ref<const std::string&>());
      return;
    case Json::value_t::binary: {
      const auto& bytes = value.get_binary();
      out += static_cast<char>(0xc0 | kBytesTag);
      PutHead(out, kMajorBytes, bytes.size());
      out.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
      return;
    }
    case Json::value_t::object:
      PutEnvelope(out, static_cast<char>(0xbf), [&] {
        for (const auto& [key, member] : value.items()) {
          PutText(out, key);
          Encode(out, member);
        }
      });
      return;
    case Json::value_t::array:
      PutEnvelope(out, static_cast<char>(0x9f), [&] {
        for (const Json& member : value) {
          Encode(out, member);
        }
      });
      return;
  }
}

// The length of the valid UTF-8 sequence at `text[at]`, or 0.
size_t Utf8SequenceAt(std::string_view text, size_t at) {
  const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
  const uint8_t lead = byte(at);
  if (lead < 0x80) {
    return 1;
  }
  size_t length = 0;
  uint8_t low = 0x80;
  uint8_t high = 0xbf;
  if (lead >= 0xc2 && lead <= 0xdf) {
    length = 2;
  } else if (lead >= 0xe0 && lead <= 0xef) {
    length = 3;
    low = lead == 0xe0 ? 0xa0 : 0x80;
    high = lead == 0xed ? 0x9f : 0xbf;
  } else if (lead >= 0xf0 && lead <= 0xf4) {
    length = 4;
    low = lead == 0xf0 ? 0x90 : 0x80;
    high = lead == 0xf4 ? 0x8f : 0xbf;
  } else {
    return 0;
  }
  if (at + length > text.size() || byte(at + 1) < low || byte(at + 1) > high) {
    return 0;
  }
  for (size_t i = 2; i < length; ++i) {
    if (byte(at + i) < 0x80 || byte(at + i) > 0xbf) {
      return 0;
    }
  }
  return length;
}

std::string ValidUtf8(std::string_view text) {
  for (size_t at = 0; at < text.size();) {
    const size_t length = Utf8SequenceAt(text, at);
    if (length == 0) {
      return Utf16ToUtf8(Utf8ToUtf16(text));  // which replaces what is not UTF-8
    }
    at += length;
  }
  return std::string(text);
}

std::string Utf8FromUtf16(std::string_view bytes) {
  std::u16string units(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < units.size(); ++i) {
    units[i] = static_cast<char16_t>(static_cast<uint8_t>(bytes[2 * i]) |
                                     static_cast<uint8_t>(bytes[2 * i + 1]) << 8);
  }
  return Utf16ToUtf8(units);
}

class Reader {
 public:
  explicit Reader(std::string_view in) : in_(in) {}

  bool at_end() const { return at_ == in_.size(); }

  // One value; false when the input is not one.
  bool Value(Json& value, int depth) {
    if (depth > kMaxDepth || at_end()) {
      return false;
    }
    const uint8_t first = Byte(at_);
    const uint8_t major = first >> 5;
    if (major == kMajorTag) {
      uint64_t tag = 0;
      if (!Head(kMajorTag, tag)) {
        return false;
      }
      if (tag == kEnvelopeTag) {
        std::string_view content;
        if (!Bytes(content)) {
          return false;
        }
        // An envelope holds one map or array, which counts its own depth.
        const uint8_t held = content.empty() ? 0 : static_cast<uint8_t>(content[0]) >> 5;
        if (held != kMajorMap && held != kMajorArray) {
          return false;
        }
        Reader inner(content);
        return inner.Value(value, depth) && inner.at_end();
      }
      if (tag == kBytesTag) {
        std::string_view bytes;
        if (!Bytes(bytes)) {
          return false;
        }
        value = Json::binary(std::vector<uint8_t>(bytes.begin(), bytes.end()));
        return true;
      }
      return false;
    }
    if (major == kMajorSimple) {
      ++at_;
      switch (first) {
        case 0xf4:
          value = false;
          return true;
        case 0xf5:
          value = true;
          return true;
        case 0xf6:
        case 0xf7:
          value = nullptr;
          return true;
        case 0xfa:
        case 0xfb: {
          const bool single = first == 0xfa;
          uint64_t bits = 0;
          if (!Fixed(single ? 4 : 8, bits)) {
            return false;
          }
          value = single ? static_cast<double>(std::bit_cast<float>(static_cast<uint32_t>(bits)))
                         : std::bit_cast<double>(bits);
          return true;
        }
        default:
          return false;
      }
    }
    if (major == kMajorUnsigned || major == kMajorNegative) {
      uint64_t number = 0;
      if (!Head(major, number) || number > static_cast<uint64_t>(INT64_MAX)) {
        return false;
      }
      value = major == kMajorUnsigned ? static_cast<int64_t>(number)
                                      : -1 - static_cast<int64_t>(number);
      return true;
    }
    if (major == kMajorText || major == kMajorBytes) {
      std::string text;
      if (!Text(text)) {
        return false;
      }
      value = std::move(text);
      return true;
    }
    const bool map = major == kMajorMap;
    if (!map && major != kMajorArray) {
      return false;
    }
    const bool indefinite = (first & 31) == kIndefinite;
    uint64_t count = 0;
    if (indefinite) {
      ++at_;
    } else if (!Head(major, count)) {
      return false;
    }
    value = map ? Json::object() : Json::array();
    for (uint64_t i = 0; indefinite || i < count; ++i) {
      if (indefinite && !at_end() && Byte(at_) == kBreak) {
        ++at_;
        return true;
      }
      if (map) {
        std::string key;
        Json member;
        if (!Text(key) || !Value(member, depth + 1)) {
          return false;
        }
        value[key] = std::move(member);
      } else {
        Json member;
        if (!Value(member, depth + 1)) {
          return false;
        }
        value.push_back(std::move(member));
      }
    }
    return true;
  }

  // A text string (UTF-8) or a byte string of UTF-16, as UTF-8.
  bool Text(std::string& text) {
    if (at_end()) {
      return false;
    }
    const uint8_t major = Byte(at_) >> 5;
    std::string_view raw;
    if (major == kMajorText) {
      uint64_t length = 0;
      if (!Head(kMajorText, length) || length > in_.size() - at_) {
        return false;
      }
      raw = in_.substr(at_, length);
      at_ += length;
      text = ValidUtf8(raw);
      return true;
    }
    if (major == kMajorBytes && Bytes(raw) && raw.size() % 2 == 0) {
      text = Utf8FromUtf16(raw);
      return true;
    }
    return false;
  }

 private:
  uint8_t Byte(size_t at) const { return static_cast<uint8_t>(in_[at]); }

  bool Fixed(int bytes, uint64_t& value) {
    if (in_.size() - at_ < static_cast<size_t>(bytes)) {
      return false;
    }
    value = 0;
    for (int i = 0; i < bytes; ++i) {
      value = value << 8 | Byte(at_++);
    }
    return true;
  }

  // A head of `major` with a definite value.
  bool Head(uint8_t major, uint64_t& value) {
    if (at_end() || Byte(at_) >> 5 != major) {
      return false;
    }
    const uint8_t info = Byte(at_++) & 31;
    if (info < 24) {
      value = info;
      return true;
    }
    if (info > 27) {
      return false;
    }
    return Fixed(1 << (info - 24), value);
  }

  bool Bytes(std::string_view& bytes) {
    uint64_t length = 0;
    if (!Head(kMajorBytes, length) || length > in_.size() - at_) {
      return false;
    }
    bytes = in_.substr(at_, length);
    at_ += length;
    return true;
  }

  std::string_view in_;
  size_t at_ = 0;
};

}  // namespace

std::optional<size_t> CborEnvelopeLength(std::string_view head) {
  if (head.size() < kCborEnvelopeHeadBytes || static_cast<uint8_t>(head[0]) != 0xd8 ||
      static_cast<uint8_t>(head[1]) != kEnvelopeTag || static_cast<uint8_t>(head[2]) != 0x5a) {
    return std::nullopt;
  }
  size_t length = 0;
  for (size_t i = 3; i < kCborEnvelopeHeadBytes; ++i) {
    length = length << 8 | static_cast<uint8_t>(head[i]);
  }
  return length;
}

std::string EncodeCborMessage(const Json& message) {
  std::string out;
  Encode(out, message);
  return out;
}

std::optional<Json> DecodeCborMessage(std::string_view message) {
  Reader reader(message);
  Json value;
  if (!reader.Value(value, 0) || !reader.at_end()) {
    return std::nullopt;
  }
  return value;
}

std::optional<std::string_view> CborEventMethod(std::string_view message) {
  constexpr std::string_view kMethodKey = "\xbf\x66method";
  if (message.size() < kCborEnvelopeHeadBytes ||
      message.substr(kCborEnvelopeHeadBytes, kMethodKey.size()) != kMethodKey) {
    return std::nullopt;
  }
  const size_t at = kCborEnvelopeHeadBytes + kMethodKey.size();
  if (at >= message.size()) {
    return std::nullopt;
  }
  const auto first = static_cast<uint8_t>(message[at]);
  size_t length = first & 31;
  size_t start = at + 1;
  if (first >> 5 != kMajorText || length > 24) {
    return std::nullopt;
  }
  if (length == 24) {
    if (start >= message.size()) {
      return std::nullopt;
    }
    length = static_cast<uint8_t>(message[start++]);
  }
  if (length > message.size() - start) {
    return std::nullopt;
  }
  return message.substr(start, length);
}

}  // namespace gameshell
