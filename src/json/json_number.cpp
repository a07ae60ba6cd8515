#include "json/json_number.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

namespace guild::json {
namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

std::string_view SkipBlanks(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  return text.substr(i);
}

// Decimal exponent of the leading digit of a mantissa, plus the written exponent: only its
// sign matters, to tell overflow from underflow.
long long DecimalMagnitude(std::string_view mantissa, long long exponent) {
  std::size_t i = 0;
  long long integerDigits = 0;
  bool leading = true;
  while (i < mantissa.size() && IsDigit(mantissa[i])) {
    if (mantissa[i] != '0') leading = false;
    if (!leading) ++integerDigits;
    ++i;
  }
  if (integerDigits > 0) return integerDigits - 1 + exponent;
  long long zeros = 0;
  if (i < mantissa.size() && mantissa[i] == '.') {
    ++i;
    while (i < mantissa.size() && mantissa[i] == '0') {
      ++zeros;
      ++i;
    }
  }
  return -(zeros + 1) + exponent;
}

}  // namespace

NumberForm ClassifyNumber(std::string_view token) {
  if (token.empty()) return NumberForm::kNone;
  const char first = token[0];
  if (first != '+' && first != '-' && first != '.' && !IsDigit(first)) return NumberForm::kNone;
  int dots = first == '.' ? 1 : 0;
  int exponents = 0;
  int signs = 0;
  for (std::size_t i = 1; i < token.size(); ++i) {
    const char c = token[i];
    if (IsDigit(c)) continue;
    if (c == '.') {
      ++dots;
    } else if (c == 'e' || c == 'E') {
      ++exponents;
    } else if (c == '+' || c == '-') {
      ++signs;
    } else {
      return NumberForm::kNone;
    }
  }
  if (dots > 1 || exponents > 1 || signs > 1) return NumberForm::kNone;
  return dots + exponents + signs > 0 ? NumberForm::kReal : NumberForm::kInteger;
}

std::int64_t ReadInteger(std::string_view text, bool* outOfRange) {
  text = SkipBlanks(text);
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  // Accumulated as a negative number, whose range holds the 64-bit minimum.
  std::int64_t value = 0;
  constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
  bool saturated = false;
  for (; i < text.size() && IsDigit(text[i]); ++i) {
    const int digit = text[i] - '0';
    if (saturated) continue;
    if (value < (kMin + digit) / 10) {
      saturated = true;
      continue;
    }
    value = value * 10 - digit;
  }
  if (!negative && !saturated && value == kMin) saturated = true;
  if (outOfRange != nullptr) *outOfRange = saturated;
  if (saturated) return negative ? kMin : std::numeric_limits<std::int64_t>::max();
  return negative ? value : -value;
}

double ReadReal(std::string_view text) {
  text = SkipBlanks(text);
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  const std::size_t mantissaStart = i;
  std::size_t digits = 0;
  while (i < text.size() && IsDigit(text[i])) {
    ++i;
    ++digits;
  }
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && IsDigit(text[i])) {
      ++i;
      ++digits;
    }
  }
  if (digits == 0) return 0.0;
  const std::size_t mantissaEnd = i;
  long long exponent = 0;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    std::size_t j = i + 1;
    bool negativeExponent = false;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) {
      negativeExponent = text[j] == '-';
      ++j;
    }
    if (j < text.size() && IsDigit(text[j])) {
      for (; j < text.size() && IsDigit(text[j]); ++j) {
        if (exponent < 100000000) exponent = exponent * 10 + (text[j] - '0');
      }
      if (negativeExponent) exponent = -exponent;
      i = j;
    }
  }
  const std::string_view number = text.substr(mantissaStart, i - mantissaStart);
  double value = 0.0;
  const auto result = std::from_chars(number.data(), number.data() + number.size(), value,
                                      std::chars_format::general);
  if (result.ec == std::errc::result_out_of_range) {
    const long long magnitude =
        DecimalMagnitude(text.substr(mantissaStart, mantissaEnd - mantissaStart), exponent);
    value = magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
  } else if (result.ec != std::errc()) {
    value = 0.0;
  }
  return negative ? -value : value;
}

std::size_t FormatReal(double value, char* buffer) {
  if (!std::isfinite(value)) {
    std::memcpy(buffer, "null", 4);
    return 4;
  }
  const auto result = std::to_chars(buffer, buffer + kNumberBufferSize - 2, value);
  std::size_t length = static_cast<std::size_t>(result.ptr - buffer);
  if (std::memchr(buffer, '.', length) == nullptr && std::memchr(buffer, 'e', length) == nullptr) {
    buffer[length++] = '.';
    buffer[length++] = '0';
  }
  return length;
}

std::size_t FormatInteger(std::int64_t value, char* buffer) {
  const auto result = std::to_chars(buffer, buffer + kNumberBufferSize, value);
  return static_cast<std::size_t>(result.ptr - buffer);
}

std::int64_t TruncateReal(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 9223372036854775808.0) return std::numeric_limits<std::int64_t>::max();
  if (value <= -9223372036854775808.0) return std::numeric_limits<std::int64_t>::min();
  return static_cast<std::int64_t>(value);
}

}  // namespace guild::json
