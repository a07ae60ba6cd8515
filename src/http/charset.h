#pragma once
// Turning an HTML body into UTF-8 text by the character set its meta tag declares.

#include <optional>
#include <string>
#include <string_view>

namespace guild {

// The charset name a "<meta ... charset=name" tag declares within the first 1024 bytes of
// `text` (letter case of the tag ignored); "" when there is none.
std::string MetaCharset(std::string_view text);

// `bytes` decoded from `charset` (any name iconv knows) into UTF-8. A byte sequence invalid
// in that charset becomes U+FFFD. nullopt when iconv does not know the charset.
std::optional<std::string> DecodeToUtf8(std::string_view bytes, std::string_view charset);

}  // namespace guild
