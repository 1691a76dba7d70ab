#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

namespace gameshell {

// The remote-debugging protocol's binary form (`--remote-debugging-pipe=cbor`), which carries a
// body as its bytes: no base64 and no JSON text for the browser to parse, which cost it three
// times the time of a cached file's answer. Every map and array sits in an envelope (tag 24 and a
// byte string of 32-bit length) and has indefinite length; a string is UTF-8 text, or a byte
// string of UTF-16 (little-endian); bytes are a byte string tagged 22. Engine-neutral and
// stateless; any thread.

// The envelope's head: tag 24, then a byte string's head with a 32-bit length.
inline constexpr size_t kCborEnvelopeHeadBytes = 7;
// The length of the message whose envelope head starts `head` (at least kCborEnvelopeHeadBytes
// long), or nothing when it is not one.
std::optional<size_t> CborEnvelopeLength(std::string_view head);

// `message` as the browser takes it. A binary value goes as bytes; an integer beyond 32 bits
// as a double (the protocol's integers are 32-bit); a string is sent as it is.
std::string EncodeCborMessage(const nlohmann::json& message);
// One message the browser sent (its envelope included), or nothing when it is not one. Text that
// is not valid UTF-8 and unpaired UTF-16 surrogates become U+FFFD, so that every string read is
// valid UTF-8; bytes become a binary value.
std::optional<nlohmann::json> DecodeCborMessage(std::string_view message);
// The method an event names first (as the browser writes its events), without decoding the rest;
// nothing for an answer or anything else.
std::optional<std::string_view> CborEventMethod(std::string_view message);

}  // namespace gameshell
