#include "util/unicode.h"

#include <vector>

#include "util/text.h"

namespace guild {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsContinuation(unsigned char byte) {
  return (byte & 0xC0) == 0x80;
}

std::string ToValidUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    const std::size_t start = pos;
    const char32_t cp = DecodeUtf8(bytes, pos);
    const std::string_view consumed = bytes.substr(start, pos - start);
    if (cp == kReplacement && consumed != "\xEF\xBF\xBD") {
      AppendUtf8(out, kReplacement);
    } else {
      out.append(consumed);
    }
  }
  return out;
}

void AppendHex4(std::string& out, char16_t unit) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (int shift = 12; shift >= 0; shift -= 4) out.push_back(kHex[(unit >> shift) & 0xF]);
}

bool IsUpperHex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

// The \u escapes (a backslash, u, then pairs of upper-case hex digits, greedy) already in
// the text, in order, each once.
std::vector<std::string_view> FindExistingEscapes(std::string_view text) {
  std::vector<std::string_view> found;
  std::size_t pos = 0;
  while ((pos = text.find("\\u", pos)) != std::string_view::npos) {
    std::size_t end = pos + 2;
    while (end + 2 <= text.size() && IsUpperHex(text[end]) && IsUpperHex(text[end + 1])) {
      end += 2;
    }
    if (end == pos + 2) {
      pos += 2;
      continue;
    }
    const std::string_view escape = text.substr(pos, end - pos);
    bool seen = false;
    for (std::string_view known : found) seen = seen || known == escape;
    if (!seen) found.push_back(escape);
    pos = end;
  }
  return found;
}

}  // namespace

char32_t DecodeUtf8(std::string_view text, std::size_t& pos) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(pos);
  if (lead < 0x80) {
    ++pos;
    return lead;
  }
  std::size_t length = 0;
  char32_t cp = 0;
  unsigned char low = 0x80, high = 0xBF;  // range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, cp = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, cp = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, cp = lead & 0x07;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    ++pos;
    return kReplacement;
  }
  std::size_t i = pos + 1;
  for (std::size_t n = 1; n < length; ++n, ++i) {
    const unsigned char next = i < text.size() ? byte(i) : 0;
    const bool ok =
        i < text.size() && (n == 1 ? (next >= low && next <= high) : IsContinuation(next));
    if (!ok) {
      pos = i;  // the maximal invalid prefix, as one replacement
      return kReplacement;
    }
    cp = (cp << 6) | (next & 0x3F);
  }
  pos = i;
  return cp;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = kReplacement;
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

std::string Utf8ToLocal(const char* text) {
  return text == nullptr ? std::string() : ToValidUtf8(std::string_view(text));
}

std::string Utf8BytesToLocal(std::string_view bytes) {
  return ToValidUtf8(bytes);
}

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) {
    const char32_t cp = DecodeUtf8(text, pos);
    if (cp >= 0x10000) {
      out.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size() * 3);
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[++i] - 0xDC00);
    }
    AppendUtf8(out, cp);  // a lone surrogate becomes U+FFFD here
  }
  return out;
}

std::size_t CutAtCharBoundary(std::string_view text, std::size_t maxBytes) {
  if (text.size() <= maxBytes) return text.size();
  std::size_t cut = maxBytes;
  while (cut > 0 && !IsCharStart(static_cast<unsigned char>(text[cut]))) --cut;
  return cut;
}

std::string UnicodeEscape(std::string_view text, std::string_view prefix, bool restoreBrackets,
                          bool restorePunctuation) {
  std::string out;
  const std::u16string units = Utf8ToUtf16(text);
  out.reserve(units.size() * (prefix.size() + 4));
  for (char16_t unit : units) {
    out.append(prefix);
    AppendHex4(out, unit);
  }
  const auto restore = [&](const char* hex, const char* raw) {
    ReplaceAll(out, std::string(prefix) + hex, raw);
  };
  if (restoreBrackets) {
    restore("007B", "{");
    restore("007D", "}");
    restore("005B", "[");
    restore("005D", "]");
  }
  if (restorePunctuation) {
    restore("003A", ":");
    restore("002C", ",");
    restore("0022", "\"");
  }
  return out;
}

std::string EscapeForGuild(std::string_view text) {
  std::string escaped = UnicodeEscape(text, "\\u", true, true);
  for (std::string_view existing : FindExistingEscapes(text)) {
    ReplaceAll(escaped, UnicodeEscape(existing, "\\u", true, true), existing);
  }
  return escaped;
}

}  // namespace guild
