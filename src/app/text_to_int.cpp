#include "app/text_to_int.h"

#include "util/unicode.h"

namespace guild {
namespace {

char32_t HalfWidth(char32_t cp) {
  if (cp >= 0xFF01 && cp <= 0xFF5E) return cp - 0xFEE0;
  if (cp == 0x3000) return U' ';
  return cp;
}

bool IsSpace(char32_t cp) {
  return cp == U' ' || (cp >= U'\t' && cp <= U'\r');
}

}  // namespace

std::int32_t TextToInt(std::string_view text) {
  std::size_t pos = 0;
  char32_t cp = 0;
  const auto next = [&] {
    cp = pos < text.size() ? HalfWidth(DecodeUtf8(text, pos)) : 0;
    return cp;
  };
  while (IsSpace(next())) {
  }
  bool negative = false;
  if (cp == U'+' || cp == U'-') {
    negative = cp == U'-';
    next();
  }
  std::uint32_t value = 0;  // unsigned, so the wrap is defined
  while (cp >= U'0' && cp <= U'9') {
    value = value * 10 + (cp - U'0');
    next();
  }
  if (negative) value = 0u - value;
  return static_cast<std::int32_t>(value);
}

}  // namespace guild
