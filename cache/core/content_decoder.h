#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

// Decodes a body sent with a Content-Encoding, piece by piece, and tells whether the encoded
// stream reached its own end (gzip's trailer, with its checksum and length, checked). A body whose
// stream did not end is cut or corrupt, whatever the transfer said. Engine-neutral; one thread at
// a time.
namespace gameshell {

class ContentDecoder {
 public:
  // What an Accept-Encoding header may offer: every encoding ForEncoding decodes.
#ifdef GAMESHELL_HAVE_BROTLI
  static constexpr char kAcceptedEncodings[] = "gzip, deflate, br";
#else
  static constexpr char kAcceptedEncodings[] = "gzip, deflate";
#endif

  virtual ~ContentDecoder() = default;

  // The decoder for a Content-Encoding header's value ("" and "identity" pass bytes through);
  // null for an encoding this shell cannot decode (several encodings in a row included).
  static std::unique_ptr<ContentDecoder> ForEncoding(std::string_view content_encoding);

  enum class Status {
    kNeedsInput,  // everything held is decoded
    kMoreOutput,  // input is left that decodes to more: call Decode again, with no new input
    kFailed,      // the stream is corrupt, goes on after its end, or the sink said stop
  };
  // The decoded bytes, a piece (at most kOutputPiece bytes) at a time; false stops the decoding.
  using Sink = std::function<bool(std::string_view piece)>;
  static constexpr size_t kOutputPiece = size_t{64} << 10;

  // Takes `encoded` after what the decoder still holds and hands at most about `max_output`
  // decoded bytes to `sink`, so that a small body that decodes to a great deal (a decompression
  // bomb) costs one piece of memory and bounded work per call.
  virtual Status Decode(std::string_view encoded, size_t max_output, const Sink& sink) = 0;
  // Decodes all of `encoded` onto `decoded`; false as kFailed.
  bool FeedForTesting(std::string_view encoded, std::string* decoded);
  // True once the stream has ended where its format says; always true without an encoding, where
  // only the transfer's own framing tells.
  virtual bool AtEnd() const = 0;
  // False for the identity encoding.
  virtual bool Encoded() const {
    return true;
  }
};

}  // namespace gameshell
