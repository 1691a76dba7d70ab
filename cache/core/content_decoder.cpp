#include "cache/core/content_decoder.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>

#ifdef GAMESHELL_HAVE_BROTLI
#include <brotli/decode.h>
#endif

#include "base/core/ascii.h"

namespace gameshell {
namespace {

constexpr size_t kOutputPiece = size_t{64} << 10;

class IdentityDecoder : public ContentDecoder {
 public:
  bool Feed(std::string_view encoded, std::string* decoded) override {
    decoded->append(encoded);
    return true;
  }
  bool AtEnd() const override { return true; }
  bool Encoded() const override { return false; }
};

class ZlibDecoder : public ContentDecoder {
 public:
  // gzip, or "deflate", which servers send both as zlib data (the standard) and as raw deflate.
  explicit ZlibDecoder(bool gzip) : gzip_(gzip) { Init(gzip ? 16 + MAX_WBITS : MAX_WBITS); }
  ~ZlibDecoder() override { inflateEnd(&stream_); }

  bool Feed(std::string_view encoded, std::string* decoded) override {
    if (failed_) {
      return false;
    }
    if (!gzip_ && !sniffed_ && !encoded.empty()) {
      sniffed_ = true;
      // A zlib stream starts with a header whose 16-bit value is a multiple of 31.
      const auto first = static_cast<unsigned char>(encoded[0]);
      const bool zlib_header = encoded.size() >= 2 && (first & 0x0F) == 8 &&
                               ((first << 8) | static_cast<unsigned char>(encoded[1])) % 31 == 0;
      if (!zlib_header) {
        inflateEnd(&stream_);
        Init(-MAX_WBITS);
      }
    }
    if (ended_) {
      // Nothing may follow the end of the stream.
      failed_ = !encoded.empty();
      return !failed_;
    }
    stream_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(encoded.data()));
    stream_.avail_in = static_cast<uInt>(encoded.size());
    while (stream_.avail_in > 0 || !ended_) {
      const size_t before = decoded->size();
      decoded->resize(before + kOutputPiece);
      stream_.next_out = reinterpret_cast<Bytef*>(decoded->data() + before);
      stream_.avail_out = static_cast<uInt>(kOutputPiece);
      const int result = inflate(&stream_, Z_NO_FLUSH);
      decoded->resize(before + kOutputPiece - stream_.avail_out);
      if (result == Z_STREAM_END) {
        ended_ = true;
        failed_ = stream_.avail_in > 0;
        return !failed_;
      }
      if (result == Z_BUF_ERROR || (result == Z_OK && stream_.avail_out > 0)) {
        return true;  // wants more input
      }
      if (result != Z_OK) {
        failed_ = true;
        return false;
      }
    }
    return true;
  }

  bool AtEnd() const override { return ended_ && !failed_; }

 private:
  void Init(int window_bits) {
    stream_ = z_stream{};
    failed_ = inflateInit2(&stream_, window_bits) != Z_OK;
  }

  const bool gzip_;
  z_stream stream_{};
  bool sniffed_ = false;
  bool ended_ = false;
  bool failed_ = false;
};

#ifdef GAMESHELL_HAVE_BROTLI
class BrotliDecoder : public ContentDecoder {
 public:
  BrotliDecoder() : state_(BrotliDecoderCreateInstance(nullptr, nullptr, nullptr)) {}
  ~BrotliDecoder() override { BrotliDecoderDestroyInstance(state_); }

  bool Feed(std::string_view encoded, std::string* decoded) override {
    if (failed_ || !state_) {
      return false;
    }
    if (ended_) {
      failed_ = !encoded.empty();
      return !failed_;
    }
    size_t available_in = encoded.size();
    auto next_in = reinterpret_cast<const uint8_t*>(encoded.data());
    while (true) {
      const size_t before = decoded->size();
      decoded->resize(before + kOutputPiece);
      size_t available_out = kOutputPiece;
      auto next_out = reinterpret_cast<uint8_t*>(decoded->data() + before);
      const BrotliDecoderResult result = BrotliDecoderDecompressStream(
          state_, &available_in, &next_in, &available_out, &next_out, nullptr);
      decoded->resize(before + kOutputPiece - available_out);
      switch (result) {
        case BROTLI_DECODER_RESULT_SUCCESS:
          ended_ = true;
          failed_ = available_in > 0;
          return !failed_;
        case BROTLI_DECODER_RESULT_NEEDS_MORE_INPUT:
          return true;
        case BROTLI_DECODER_RESULT_NEEDS_MORE_OUTPUT:
          continue;
        default:
          failed_ = true;
          return false;
      }
    }
  }

  bool AtEnd() const override { return ended_ && !failed_; }

 private:
  BrotliDecoderState* const state_;
  bool ended_ = false;
  bool failed_ = false;
};
#endif

}  // namespace

std::unique_ptr<ContentDecoder> ContentDecoder::ForEncoding(std::string_view content_encoding) {
  const std::string encoding = AsciiLower(TrimBlanks(content_encoding));
  if (encoding.empty() || encoding == "identity") {
    return std::make_unique<IdentityDecoder>();
  }
  if (encoding == "gzip" || encoding == "x-gzip") {
    return std::make_unique<ZlibDecoder>(true);
  }
  if (encoding == "deflate") {
    return std::make_unique<ZlibDecoder>(false);
  }
#ifdef GAMESHELL_HAVE_BROTLI
  if (encoding == "br") {
    return std::make_unique<BrotliDecoder>();
  }
#endif
  return nullptr;
}

}  // namespace gameshell
