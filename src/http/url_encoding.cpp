#include "http/url_encoding.h"

#include "util/text.h"

namespace guild {

std::string UrlEncode(std::string_view text, bool keepSafe, bool /*utf8*/) {
  return PercentEncodeBytes(text, keepSafe);
}

std::string UrlEncodePrintable(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    const bool keep = byte >= 0x21 && byte <= 0x7E && c != '#' && c != '%' && c != '&' && c != '+';
    if (keep) {
      out.push_back(c);
    } else {
      out.push_back('%');
      out.push_back(kHex[byte >> 4]);
      out.push_back(kHex[byte & 0xF]);
    }
  }
  return out;
}

std::string Base64Encode(std::string_view bytes) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  const auto at = [&](std::size_t k) { return static_cast<unsigned char>(bytes[k]); };
  for (; i + 3 <= bytes.size(); i += 3) {
    const unsigned group = (at(i) << 16) | (at(i + 1) << 8) | at(i + 2);
    out.push_back(kAlphabet[(group >> 18) & 63]);
    out.push_back(kAlphabet[(group >> 12) & 63]);
    out.push_back(kAlphabet[(group >> 6) & 63]);
    out.push_back(kAlphabet[group & 63]);
  }
  const std::size_t rest = bytes.size() - i;
  if (rest > 0) {
    const unsigned group = (at(i) << 16) | (rest == 2 ? at(i + 1) << 8 : 0u);
    out.push_back(kAlphabet[(group >> 18) & 63]);
    out.push_back(kAlphabet[(group >> 12) & 63]);
    out.push_back(rest == 2 ? kAlphabet[(group >> 6) & 63] : '=');
    out.push_back('=');
  }
  return out;
}

std::optional<std::string> Base64Decode(std::string_view text) {
  if (text.size() % 4 != 0) return std::nullopt;
  const auto value = [](char c) -> int {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
  };
  std::size_t padding = 0;
  if (text.ends_with("==")) {
    padding = 2;
  } else if (text.ends_with('=')) {
    padding = 1;
  }
  std::string out;
  out.reserve(text.size() / 4 * 3);
  for (std::size_t i = 0; i < text.size(); i += 4) {
    const bool last = i + 4 == text.size();
    const std::size_t digits = last ? 4 - padding : 4;
    unsigned group = 0;
    for (std::size_t k = 0; k < 4; ++k) {
      const int digit = k < digits ? value(text[i + k]) : 0;
      if (digit < 0) return std::nullopt;
      group = (group << 6) | static_cast<unsigned>(digit);
    }
    // Bits that no output byte carries must be zero, or two texts would give the same bytes.
    if ((digits == 3 && (group & 0xFF) != 0) || (digits == 2 && (group & 0xFFFF) != 0)) {
      return std::nullopt;
    }
    out.push_back(static_cast<char>(group >> 16));
    if (digits >= 3) out.push_back(static_cast<char>((group >> 8) & 0xFF));
    if (digits == 4) out.push_back(static_cast<char>(group & 0xFF));
  }
  return out;
}

}  // namespace guild
