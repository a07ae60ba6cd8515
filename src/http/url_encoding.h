#pragma once
// Encoders that put texts into URLs, form bodies and authorization headers.

#include <optional>
#include <string>
#include <string_view>

namespace guild {

// Percent-encodes every byte, or with `keepSafe` every byte but ASCII letters, digits, "-"
// and ".". Texts are UTF-8 already, so `utf8` changes nothing; it is kept for callers that
// say which encoding they want.
std::string UrlEncode(std::string_view text, bool keepSafe = false, bool utf8 = false);

// Percent-encodes only what is not printable ASCII, plus "#", "%", "&" and "+".
std::string UrlEncodePrintable(std::string_view text);

// Standard Base64 (RFC 4648) with padding and no line breaks.
std::string Base64Encode(std::string_view bytes);

// Standard Base64 (RFC 4648) back to bytes, strictly: only the standard alphabet, the length
// a multiple of 4, "=" only as the last one or two characters, and unused bits zero, so that
// every accepted text is what Base64Encode writes. Anything else gives nullopt.
std::optional<std::string> Base64Decode(std::string_view text);

}  // namespace guild
