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

}  // namespace guild
