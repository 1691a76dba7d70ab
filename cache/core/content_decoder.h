#pragma once

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

  // Appends what `encoded` decodes to to `decoded`; false when the stream is corrupt, or goes on
  // after its end.
  virtual bool Feed(std::string_view encoded, std::string* decoded) = 0;
  // True once the stream has ended where its format says; always true without an encoding, where
  // only the transfer's own framing tells.
  virtual bool AtEnd() const = 0;
  // False for the identity encoding.
  virtual bool Encoded() const {
    return true;
  }
};

}  // namespace gameshell
