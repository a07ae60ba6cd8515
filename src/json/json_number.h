#pragma once
// Number tokens and the numeric readings of texts.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace guild::json {

// Room FormatReal and FormatInteger need.
inline constexpr std::size_t kNumberBufferSize = 32;

enum class NumberForm { kNone, kInteger, kReal };

// The lenient number grammar of the parser: first character '+', '-', a digit or '.', then
// digits, '.', 'e', 'E', '+', '-'; at most one '.', one exponent mark and one sign after the
// first character. Digits are not required around '.' or after 'e' (".5", "1e", "-" pass).
// A real is a token with '.', 'e', 'E' or a sign after its first character.
NumberForm ClassifyNumber(std::string_view token);

// Leading signed decimal digits after optional blanks; saturates at the 64-bit limits and
// then sets *outOfRange. No digits gives 0.
std::int64_t ReadInteger(std::string_view text, bool* outOfRange = nullptr);

// The decimal number at the start of `text` after optional blanks (sign, digits, fraction,
// exponent; no hexadecimal, infinity or NaN); 0 when the text does not start with one.
// Overflow gives an infinity, underflow 0.
double ReadReal(std::string_view text);

// Shortest text that reads back as `value`, with ".0" added when it would otherwise read as
// an integer; "null" for an infinity or NaN, which JSON cannot hold.
std::size_t FormatReal(double value, char* buffer);

std::size_t FormatInteger(std::int64_t value, char* buffer);

// The real truncated toward zero, clamped to the 64-bit range; NaN gives 0.
std::int64_t TruncateReal(double value);

}  // namespace guild::json
