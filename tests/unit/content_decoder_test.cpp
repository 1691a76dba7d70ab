#include "cache/core/content_decoder.h"

#include <brotli/encode.h>
#include <gtest/gtest.h>

#include <string>

#include "deflate_for_tests.h"

namespace gameshell {
namespace {

using testing::Deflate;

std::string Brotli(const std::string& data) {
  std::string out(BrotliEncoderMaxCompressedSize(data.size()), '\0');
  size_t size = out.size();
  BrotliEncoderCompress(1, BROTLI_DEFAULT_WINDOW, BROTLI_MODE_GENERIC, data.size(),
                        reinterpret_cast<const uint8_t*>(data.data()), &size,
                        reinterpret_cast<uint8_t*>(out.data()));
  out.resize(size);
  return out;
}

// Feeds `encoded` in pieces of `piece` bytes; the decoded bytes, or "<failed>".
std::string Decode(ContentDecoder& decoder, const std::string& encoded, size_t piece = 7) {
  std::string decoded;
  for (size_t at = 0; at < encoded.size(); at += piece) {
    if (!decoder.FeedForTesting(std::string_view(encoded).substr(at, piece), &decoded)) {
      return "<failed>";
    }
  }
  return decoded;
}

std::string Body() {
  std::string body;
  for (int i = 0; i < 20000; ++i) {
    body += "{\"tile\":" + std::to_string(i * 7919 % 1000) + "},";
  }
  return body;
}

TEST(ContentDecoderTest, EveryOfferedEncodingDecodesToTheOriginalAndReachesItsEnd) {
  const std::string body = Body();
  const std::pair<const char*, std::string> cases[] = {
      {"gzip", Deflate(body, 16 + 15)},
      {" GZIP ", Deflate(body, 16 + 15)},
      {"deflate", Deflate(body, 15)},
      {"deflate", Deflate(body, -15)},
      {"br", Brotli(body)},
      {"identity", body},
      {"", body},
  };
  for (const auto& [encoding, encoded] : cases) {
    SCOPED_TRACE(encoding);
    auto decoder = ContentDecoder::ForEncoding(encoding);
    ASSERT_NE(decoder, nullptr);
    EXPECT_EQ(Decode(*decoder, encoded, 4093), body);
    EXPECT_TRUE(decoder->AtEnd());
    // The first byte alone, as a slow server may send it, then the rest.
    auto split = ContentDecoder::ForEncoding(encoding);
    std::string decoded;
    ASSERT_TRUE(split->FeedForTesting(std::string_view(encoded).substr(0, 1), &decoded));
    EXPECT_EQ(decoded + Decode(*split, encoded.substr(1), 4093), body);
    EXPECT_TRUE(split->AtEnd());
  }
}

TEST(ContentDecoderTest, ACutOrCorruptStreamNeverReachesItsEnd) {
  const std::string body = Body();
  const std::string gzip = Deflate(body, 16 + 15);
  for (const std::string& cut :
       {gzip.substr(0, gzip.size() / 2), gzip.substr(0, gzip.size() - 4)}) {
    auto decoder = ContentDecoder::ForEncoding("gzip");
    Decode(*decoder, cut);
    EXPECT_FALSE(decoder->AtEnd());
  }
  // The trailer's checksum is checked.
  std::string corrupt = gzip;
  corrupt[corrupt.size() - 6] ^= 0x55;
  auto decoder = ContentDecoder::ForEncoding("gzip");
  EXPECT_EQ(Decode(*decoder, corrupt), "<failed>");
  EXPECT_FALSE(decoder->AtEnd());
  const std::string br = Brotli(body);
  // Bytes after the end are no part of a sound body, in the end's piece or a later one.
  for (const auto& [encoding, encoded] : {std::pair{"gzip", gzip}, std::pair{"br", br}}) {
    for (size_t piece : {encoded.size() + 4, encoded.size()}) {
      SCOPED_TRACE(encoding + std::string(" in pieces of ") + std::to_string(piece));
      decoder = ContentDecoder::ForEncoding(encoding);
      EXPECT_EQ(Decode(*decoder, encoded + "more", piece), "<failed>");
      EXPECT_FALSE(decoder->AtEnd());
    }
  }
  decoder = ContentDecoder::ForEncoding("br");
  Decode(*decoder, br.substr(0, br.size() - 1));
  EXPECT_FALSE(decoder->AtEnd());
  decoder = ContentDecoder::ForEncoding("gzip");
  EXPECT_EQ(Decode(*decoder, "not gzip at all"), "<failed>");
}

// A small body that decodes to 64 MiB comes out a piece at a time, a bounded share per call.
TEST(ContentDecoderTest, ABombDecodesInBoundedPiecesAndStopsWhenTheSinkSaysSo) {
  const std::string zeros(size_t{64} << 20, '\0');
  for (const auto& [encoding, bomb] : std::vector<std::pair<std::string, std::string>>{
           {"br", Brotli(zeros)}, {"gzip", Deflate(zeros, 16 + 15)}}) {
    SCOPED_TRACE(encoding);
    ASSERT_LT(bomb.size(), zeros.size() / 200);
    auto decoder = ContentDecoder::ForEncoding(encoding);
    size_t largest = 0, total = 0, calls = 0;
    const ContentDecoder::Sink count = [&](std::string_view piece) {
      largest = std::max(largest, piece.size());
      total += piece.size();
      return true;
    };
    ContentDecoder::Status status = decoder->Decode(bomb, size_t{1} << 20, count);
    for (; status == ContentDecoder::Status::kMoreOutput; ++calls) {
      EXPECT_LE(total, (size_t{1} << 20) * (calls + 1) + ContentDecoder::kOutputPiece);
      status = decoder->Decode({}, size_t{1} << 20, count);
    }
    EXPECT_EQ(status, ContentDecoder::Status::kNeedsInput);
    EXPECT_TRUE(decoder->AtEnd());
    EXPECT_EQ(total, zeros.size());
    EXPECT_LE(largest, ContentDecoder::kOutputPiece);
    EXPECT_GE(calls, 60u);

    decoder = ContentDecoder::ForEncoding(encoding);
    total = 0;
    EXPECT_EQ(decoder->Decode(bomb, SIZE_MAX,
                              [&](std::string_view piece) {
                                total += piece.size();
                                return total < (size_t{1} << 20);
                              }),
              ContentDecoder::Status::kFailed);
    EXPECT_LT(total, (size_t{1} << 20) + ContentDecoder::kOutputPiece);
  }
}

TEST(ContentDecoderTest, EncodingsNobodyAskedForAreRefused) {
  for (const char* encoding : {"compress", "zstd", "gzip, br", "x-unknown"}) {
    EXPECT_EQ(ContentDecoder::ForEncoding(encoding), nullptr) << encoding;
  }
}

}  // namespace
}  // namespace gameshell
