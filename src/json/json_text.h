#pragma once
// Text forms inside the JSON library. Every text a document holds is WTF-8: UTF-8 in which
// a lone UTF-16 surrogate (reachable only through \u escapes or UTF-16 input) is kept as its
// three-byte form, so UTF-16 code units survive a round trip through the Wide methods.
// Surrogate pairs are always held as one four-byte character.

#include <cstddef>
#include <string>
#include <string_view>

namespace guild::json {

// Length of the leading part of `text` that is valid UTF-8 (all of it when valid).
std::size_t ValidUtf8Prefix(std::string_view text);

// Appends `text` to `out` with every invalid UTF-8 sequence replaced by U+FFFD (one per
// maximal invalid subpart, as UTF-16 conversion would give).
void AppendSanitizedUtf8(std::string& out, std::string_view text);

// Appends the WTF-8 form of UTF-16 code units; pairs become one character.
void AppendWtf8FromUtf16(std::string& out, std::u16string_view text);

// UTF-16 code units of a WTF-8 text.
std::u16string Wtf8ToUtf16(std::string_view text);

// Valid UTF-8 of a WTF-8 text: each lone surrogate becomes U+FFFD.
std::string Wtf8ToUtf8(std::string_view text);

// True when a WTF-8 text holds a lone surrogate (only then does it differ from UTF-8).
bool HasLoneSurrogate(std::string_view text);

// Number of UTF-16 code units in a WTF-8 text.
std::size_t Utf16Length(std::string_view text);

// Appends the WTF-8 form of one UTF-16 code unit or code point (up to U+10FFFF).
void AppendWtf8(std::string& out, char32_t codePoint);

// Merges each high surrogate directly followed by a low surrogate (both in three-byte form)
// into one four-byte character, in place; returns the new length.
std::size_t JoinSurrogatePairs(char* text, std::size_t length);

// A text argument in WTF-8, converted from a UTF-8 or UTF-16 argument only when needed.
class TextArg {
 public:
  explicit TextArg(std::string_view utf8);
  explicit TextArg(std::u16string_view utf16);
  TextArg(const TextArg&) = delete;
  TextArg& operator=(const TextArg&) = delete;

  std::string_view view() const { return view_; }

 private:
  std::string storage_;
  std::string_view view_;
};

}  // namespace guild::json
