#pragma once
// UTF-8 and UTF-16 conversions and the escaping of text as \uXXXX sequences.
// Every function takes any bytes: invalid UTF-8 is read as U+FFFD, never rejected.

#include <cstddef>
#include <string>
#include <string_view>

namespace guild {

// Valid UTF-8 of a zero-terminated UTF-8 text; each invalid sequence becomes U+FFFD.
std::string Utf8ToLocal(const char* text);

// The same for a buffer that need not be zero-terminated; an empty buffer gives "".
std::string Utf8BytesToLocal(std::string_view bytes);

// UTF-16 code units of a UTF-8 text (outside the BMP: a surrogate pair).
std::u16string Utf8ToUtf16(std::string_view text);

// UTF-8 of UTF-16 code units; a lone surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

// Appends the UTF-8 form of one code point (an invalid one as U+FFFD).
void AppendUtf8(std::string& out, char32_t codePoint);

// Decodes one code point at `pos` and moves `pos` past it; an invalid sequence gives
// U+FFFD and consumes its maximal invalid prefix (at least one byte).
char32_t DecodeUtf8(std::string_view text, std::size_t& pos);

// True for a byte that begins a character (not a UTF-8 continuation byte).
inline bool IsCharStart(unsigned char byte) {
  return (byte & 0xC0) != 0x80;
}

// Length of `text` cut to at most `maxBytes` without splitting a character.
std::size_t CutAtCharBoundary(std::string_view text, std::size_t maxBytes);

// Every UTF-16 code unit as prefix + four upper-case hex digits; the restore flags put
// back { } [ ] and : , " as themselves so JSON structure written this way stays readable.
std::string UnicodeEscape(std::string_view text, std::string_view prefix, bool restoreBrackets,
                          bool restorePunctuation);

// Escapes message content for the guild API: every character as \uXXXX, except the \u
// escapes (upper-case hex) the text already carries, which are kept as they are.
std::string EscapeForGuild(std::string_view text);

}  // namespace guild
