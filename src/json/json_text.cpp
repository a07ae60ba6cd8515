#include "json/json_text.h"

#include <cstdint>
#include <cstring>

namespace guild::json {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsContinuation(unsigned char byte) {
  return (byte & 0xC0) == 0x80;
}

// Bytes of the character starting at `pos` when it is valid UTF-8, 0 otherwise.
std::size_t ValidCharLength(const unsigned char* p, std::size_t left) {
  const unsigned char lead = p[0];
  if (lead < 0x80) return 1;
  if (lead < 0xC2 || lead > 0xF4) return 0;
  if (lead < 0xE0) return left >= 2 && IsContinuation(p[1]) ? 2 : 0;
  if (lead < 0xF0) {
    if (left < 3 || !IsContinuation(p[1]) || !IsContinuation(p[2])) return 0;
    if (lead == 0xE0 && p[1] < 0xA0) return 0;   // overlong
    if (lead == 0xED && p[1] >= 0xA0) return 0;  // surrogate
    return 3;
  }
  if (left < 4 || !IsContinuation(p[1]) || !IsContinuation(p[2]) || !IsContinuation(p[3])) {
    return 0;
  }
  if (lead == 0xF0 && p[1] < 0x90) return 0;   // overlong
  if (lead == 0xF4 && p[1] >= 0x90) return 0;  // beyond U+10FFFF
  return 4;
}

// Bytes of the maximal invalid subpart starting at `p`: the lead byte and the continuation
// bytes that could still have completed it.
std::size_t InvalidSubpartLength(const unsigned char* p, std::size_t left) {
  const unsigned char lead = p[0];
  if (lead < 0xC2 || lead > 0xF4) return 1;
  const std::size_t need = lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
  std::size_t taken = 1;
  while (taken < need && taken < left) {
    const unsigned char next = p[taken];
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (taken == 1) {
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    }
    if (next < low || next > high) break;
    ++taken;
  }
  return taken;
}

// Decodes one WTF-8 character; malformed bytes read as U+FFFD one byte at a time.
char32_t DecodeWtf8(const unsigned char* p, std::size_t left, std::size_t& length) {
  const unsigned char lead = p[0];
  if (lead < 0x80) {
    length = 1;
    return lead;
  }
  if (lead >= 0xC2 && lead < 0xE0 && left >= 2 && IsContinuation(p[1])) {
    length = 2;
    return (char32_t(lead & 0x1F) << 6) | (p[1] & 0x3F);
  }
  if (lead >= 0xE0 && lead < 0xF0 && left >= 3 && IsContinuation(p[1]) && IsContinuation(p[2])) {
    length = 3;
    return (char32_t(lead & 0x0F) << 12) | (char32_t(p[1] & 0x3F) << 6) | (p[2] & 0x3F);
  }
  if (lead >= 0xF0 && lead < 0xF5 && left >= 4 && IsContinuation(p[1]) && IsContinuation(p[2]) &&
      IsContinuation(p[3])) {
    length = 4;
    return (char32_t(lead & 0x07) << 18) | (char32_t(p[1] & 0x3F) << 12) |
           (char32_t(p[2] & 0x3F) << 6) | (p[3] & 0x3F);
  }
  length = 1;
  return kReplacement;
}

bool IsHighSurrogateAt(const unsigned char* p) {
  return p[0] == 0xED && p[1] >= 0xA0 && p[1] < 0xB0;
}
bool IsLowSurrogateAt(const unsigned char* p) {
  return p[0] == 0xED && p[1] >= 0xB0;
}

}  // namespace

std::size_t ValidUtf8Prefix(std::string_view text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t n = text.size();
  std::size_t i = 0;
  while (i < n) {
    if (i + 8 <= n) {
      std::uint64_t word;
      std::memcpy(&word, p + i, 8);
      if ((word & 0x8080808080808080ULL) == 0) {
        i += 8;
        continue;
      }
    }
    if (p[i] < 0x80) {
      ++i;
      continue;
    }
    const std::size_t length = ValidCharLength(p + i, n - i);
    if (length == 0) return i;
    i += length;
  }
  return n;
}

void AppendSanitizedUtf8(std::string& out, std::string_view text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t n = text.size();
  std::size_t i = 0;
  while (i < n) {
    const std::size_t valid = ValidUtf8Prefix(text.substr(i));
    out.append(text.data() + i, valid);
    i += valid;
    if (i >= n) break;
    i += InvalidSubpartLength(p + i, n - i);
    AppendWtf8(out, kReplacement);
  }
}

void AppendWtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp <= 0x10FFFF) {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    AppendWtf8(out, kReplacement);
  }
}

void AppendWtf8FromUtf16(std::string& out, std::u16string_view text) {
  out.reserve(out.size() + text.size());
  const std::size_t n = text.size();
  for (std::size_t i = 0; i < n; ++i) {
    const char16_t unit = text[i];
    if (unit < 0x80) {
      out.push_back(static_cast<char>(unit));
      continue;
    }
    if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < n && text[i + 1] >= 0xDC00 &&
        text[i + 1] < 0xE000) {
      const char32_t cp = 0x10000 + ((char32_t(unit) - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      AppendWtf8(out, cp);
      ++i;
      continue;
    }
    AppendWtf8(out, unit);
  }
}

std::u16string Wtf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t n = text.size();
  std::size_t i = 0;
  while (i < n) {
    if (p[i] < 0x80) {
      out.push_back(p[i++]);
      continue;
    }
    std::size_t length = 0;
    const char32_t cp = DecodeWtf8(p + i, n - i, length);
    i += length;
    if (cp >= 0x10000) {
      out.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

bool HasLoneSurrogate(std::string_view text) {
  const char* p = text.data();
  const char* end = p + text.size();
  while (p < end) {
    const void* hit = std::memchr(p, 0xED, static_cast<std::size_t>(end - p));
    if (hit == nullptr) return false;
    const char* at = static_cast<const char*>(hit);
    if (at + 1 < end && static_cast<unsigned char>(at[1]) >= 0xA0) return true;
    p = at + 1;
  }
  return false;
}

std::string Wtf8ToUtf8(std::string_view text) {
  std::string out(text);
  if (!HasLoneSurrogate(text)) return out;
  for (std::size_t i = 0; i + 2 < out.size(); ++i) {
    auto* p = reinterpret_cast<unsigned char*>(out.data() + i);
    if (p[0] == 0xED && p[1] >= 0xA0) {
      // U+FFFD has the same three-byte length, so the text is patched in place.
      p[0] = 0xEF;
      p[1] = 0xBF;
      p[2] = 0xBD;
      i += 2;
    }
  }
  return out;
}

std::size_t Utf16Length(std::string_view text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t n = text.size();
  std::size_t units = 0;
  std::size_t i = 0;
  while (i < n) {
    if (p[i] < 0x80) {
      ++i;
      ++units;
      continue;
    }
    std::size_t length = 0;
    const char32_t cp = DecodeWtf8(p + i, n - i, length);
    i += length;
    units += cp >= 0x10000 ? 2 : 1;
  }
  return units;
}

std::size_t JoinSurrogatePairs(char* text, std::size_t length) {
  auto* p = reinterpret_cast<unsigned char*>(text);
  std::size_t read = 0;
  std::size_t write = 0;
  while (read < length) {
    if (read + 6 <= length && IsHighSurrogateAt(p + read) && IsLowSurrogateAt(p + read + 3)) {
      const char32_t high = ((p[read + 1] & 0x0F) << 6) | (p[read + 2] & 0x3F);
      const char32_t low = ((p[read + 4] & 0x0F) << 6) | (p[read + 5] & 0x3F);
      const char32_t cp = 0x10000 + (high << 10) + low;
      p[write++] = static_cast<unsigned char>(0xF0 | (cp >> 18));
      p[write++] = static_cast<unsigned char>(0x80 | ((cp >> 12) & 0x3F));
      p[write++] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
      p[write++] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
      read += 6;
      continue;
    }
    p[write++] = p[read++];
  }
  return write;
}

TextArg::TextArg(std::string_view utf8) {
  if (ValidUtf8Prefix(utf8) == utf8.size()) {
    view_ = utf8;
    return;
  }
  AppendSanitizedUtf8(storage_, utf8);
  view_ = storage_;
}

TextArg::TextArg(std::u16string_view utf16) {
  AppendWtf8FromUtf16(storage_, utf16);
  view_ = storage_;
}

}  // namespace guild::json
