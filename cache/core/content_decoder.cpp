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

class IdentityDecoder : public ContentDecoder {
 public:
  Status Decode(std::string_view encoded, size_t, const Sink& sink) override {
    while (!encoded.empty()) {
      const std::string_view piece = encoded.substr(0, kOutputPiece);
      if (!sink(piece)) {
        return Status::kFailed;
      }
      encoded.remove_prefix(piece.size());
    }
    return Status::kNeedsInput;
  }
  bool AtEnd() const override { return true; }
  bool Encoded() const override { return false; }
};

// Keeps the input a call left undecoded for the next call.
class HeldInput {
 public:
  void Take(std::string_view encoded) {
    if (!encoded.empty()) {
      bytes_.erase(0, used_);
      used_ = 0;
      bytes_.append(encoded);
    }
  }
  std::string_view Rest() const { return std::string_view(bytes_).substr(used_); }
  void Consume(size_t count) {
    used_ += count;
    if (used_ == bytes_.size()) {
      bytes_.clear();
      used_ = 0;
    }
  }

 private:
  std::string bytes_;
  size_t used_ = 0;
};

class ZlibDecoder : public ContentDecoder {
 public:
  // gzip, or "deflate", which servers send both as zlib data (the standard) and as raw deflate.
  explicit ZlibDecoder(bool gzip) : gzip_(gzip) { Init(gzip ? 16 + MAX_WBITS : MAX_WBITS); }
  ~ZlibDecoder() override { inflateEnd(&stream_); }

  Status Decode(std::string_view encoded, size_t max_output, const Sink& sink) override {
    if (failed_) {
      return Status::kFailed;
    }
    if (!gzip_ && !sniffed_ && !encoded.empty()) {
      // A zlib stream starts with a header whose 16-bit value is a multiple of 31: two bytes tell,
      // however the body's first piece was cut.
      input_.Take(encoded);
      encoded = {};
      const std::string_view head = input_.Rest();
      if (head.size() < 2) {
        return Status::kNeedsInput;
      }
      sniffed_ = true;
      const auto first = static_cast<unsigned char>(head[0]);
      const bool zlib_header =
          (first & 0x0F) == 8 && ((first << 8) | static_cast<unsigned char>(head[1])) % 31 == 0;
      if (!zlib_header) {
        inflateEnd(&stream_);
        Init(-MAX_WBITS);
      }
    }
    if (ended_) {
      // Nothing may follow the end of the stream.
      failed_ = !encoded.empty();
      return failed_ ? Status::kFailed : Status::kNeedsInput;
    }
    input_.Take(encoded);
    size_t produced = 0;
    while (true) {
      const std::string_view rest = input_.Rest();
      if (produced >= max_output && !rest.empty()) {
        return Status::kMoreOutput;
      }
      stream_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(rest.data()));
      stream_.avail_in = static_cast<uInt>(rest.size());
      stream_.next_out = reinterpret_cast<Bytef*>(piece_);
      stream_.avail_out = static_cast<uInt>(kOutputPiece);
      const int result = inflate(&stream_, Z_NO_FLUSH);
      input_.Consume(rest.size() - stream_.avail_in);
      const size_t out = kOutputPiece - stream_.avail_out;
      produced += out;
      if (out > 0 && !sink(std::string_view(piece_, out))) {
        failed_ = true;
        return Status::kFailed;
      }
      if (result == Z_STREAM_END) {
        ended_ = true;
        failed_ = !input_.Rest().empty();
        return failed_ ? Status::kFailed : Status::kNeedsInput;
      }
      if (result == Z_BUF_ERROR || (result == Z_OK && stream_.avail_out > 0)) {
        return Status::kNeedsInput;
      }
      if (result != Z_OK) {
        failed_ = true;
        return Status::kFailed;
      }
    }
  }

  bool AtEnd() const override { return ended_ && !failed_; }

 private:
  void Init(int window_bits) {
    stream_ = z_stream{};
    failed_ = inflateInit2(&stream_, window_bits) != Z_OK;
  }

  const bool gzip_;
  z_stream stream_{};
  HeldInput input_;
  char piece_[kOutputPiece];
  bool sniffed_ = false;
  bool ended_ = false;
  bool failed_ = false;
};

#ifdef GAMESHELL_HAVE_BROTLI
class BrotliDecoder : public ContentDecoder {
 public:
  BrotliDecoder() : state_(BrotliDecoderCreateInstance(nullptr, nullptr, nullptr)) {}
  ~BrotliDecoder() override { BrotliDecoderDestroyInstance(state_); }

  Status Decode(std::string_view encoded, size_t max_output, const Sink& sink) override {
    if (failed_ || !state_) {
      return Status::kFailed;
    }
    if (ended_) {
      failed_ = !encoded.empty();
      return failed_ ? Status::kFailed : Status::kNeedsInput;
    }
    input_.Take(encoded);
    size_t produced = 0;
    while (true) {
      const std::string_view rest = input_.Rest();
      size_t available_in = rest.size();
      auto next_in = reinterpret_cast<const uint8_t*>(rest.data());
      size_t available_out = kOutputPiece;
      auto next_out = reinterpret_cast<uint8_t*>(piece_);
      const BrotliDecoderResult result = BrotliDecoderDecompressStream(
          state_, &available_in, &next_in, &available_out, &next_out, nullptr);
      input_.Consume(rest.size() - available_in);
      const size_t out = kOutputPiece - available_out;
      produced += out;
      if (out > 0 && !sink(std::string_view(piece_, out))) {
        failed_ = true;
        return Status::kFailed;
      }
      switch (result) {
        case BROTLI_DECODER_RESULT_SUCCESS:
          ended_ = true;
          failed_ = !input_.Rest().empty();
          return failed_ ? Status::kFailed : Status::kNeedsInput;
        case BROTLI_DECODER_RESULT_NEEDS_MORE_INPUT:
          return Status::kNeedsInput;
        case BROTLI_DECODER_RESULT_NEEDS_MORE_OUTPUT:
          if (produced >= max_output) {
            return Status::kMoreOutput;
          }
          continue;
        default:
          failed_ = true;
          return Status::kFailed;
      }
    }
  }

  bool AtEnd() const override { return ended_ && !failed_; }

 private:
  BrotliDecoderState* const state_;
  HeldInput input_;
  char piece_[kOutputPiece];
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

bool ContentDecoder::FeedForTesting(std::string_view encoded, std::string* decoded) {
  const Sink append = [decoded](std::string_view piece) {
    decoded->append(piece);
    return true;
  };
  Status status = Decode(encoded, SIZE_MAX, append);
  while (status == Status::kMoreOutput) {
    status = Decode({}, SIZE_MAX, append);
  }
  return status != Status::kFailed;
}

}  // namespace gameshell
