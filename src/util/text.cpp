#include "util/text.h"

#include <algorithm>
#include <array>

#include "util/unicode.h"

namespace guild {
namespace {

char FoldAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool MatchesAt(std::string_view text, std::size_t at, std::string_view needle, bool ignoreCase) {
  if (at + needle.size() > text.size()) return false;
  if (!ignoreCase) return text.compare(at, needle.size(), needle) == 0;
  for (std::size_t i = 0; i < needle.size(); ++i) {
    if (FoldAscii(text[at + i]) != FoldAscii(needle[i])) return false;
  }
  return true;
}

bool IsStartAt(std::string_view text, std::size_t at) {
  return IsCharStart(static_cast<unsigned char>(text[at]));
}

std::string WithQuoteMarkers(std::string_view marker) {
  static constexpr std::string_view kQuoteMarker = "#引号";
  std::string out;
  std::size_t pos = 0;
  for (std::size_t hit; (hit = marker.find(kQuoteMarker, pos)) != std::string_view::npos;
       pos = hit + kQuoteMarker.size()) {
    out.append(marker.substr(pos, hit - pos));
    out.push_back('"');
  }
  out.append(marker.substr(pos));
  return out;
}

std::size_t FromPosition(std::int64_t position) {
  return position > 0 ? static_cast<std::size_t>(position) : 1;
}

}  // namespace

std::size_t FindText(std::string_view text, std::string_view needle, std::size_t from,
                     bool ignoreCase) {
  if (needle.empty() || from == 0 || needle.size() > text.size()) return 0;
  for (std::size_t at = from - 1; at + needle.size() <= text.size(); ++at) {
    if (IsStartAt(text, at) && MatchesAt(text, at, needle, ignoreCase)) return at + 1;
  }
  return 0;
}

std::string TextAfterLast(std::string_view text, std::string_view separator,
                          std::optional<std::int64_t> startPosition, bool ignoreCase) {
  if (separator.empty() || separator.size() > text.size()) return "";
  std::size_t limit = text.size();  // occurrences must end within the first `limit` bytes
  if (startPosition) {
    if (*startPosition <= 1) return "";
    limit = std::min<std::size_t>(limit, static_cast<std::size_t>(*startPosition - 1));
  }
  if (separator.size() > limit) return "";
  for (std::size_t at = limit - separator.size() + 1; at-- > 0;) {
    if (IsStartAt(text, at) && MatchesAt(text, at, separator, ignoreCase)) {
      return std::string(text.substr(at + separator.size()));
    }
  }
  return "";
}

std::string TextBeforeFirst(std::string_view text, std::string_view separator,
                            std::int64_t startPosition, bool ignoreCase) {
  const std::size_t found = FindText(text, separator, FromPosition(startPosition), ignoreCase);
  return found == 0 ? "" : std::string(text.substr(0, found - 1));
}

std::string TextBetween(std::string_view text, std::string_view startMarker,
                        std::string_view endMarker, std::int64_t startPosition, bool ignoreCase) {
  const std::string start = WithQuoteMarkers(startMarker);
  const std::string end = WithQuoteMarkers(endMarker);
  const std::size_t found = FindText(text, start, FromPosition(startPosition), ignoreCase);
  if (found == 0) return "";
  const std::size_t contentStart = found + start.size();
  const std::size_t closing = FindText(text, end, contentStart, ignoreCase);
  if (closing == 0) return "";
  return std::string(text.substr(contentStart - 1, closing - contentStart));
}

int ExtractAllBetween(std::string_view text, std::string_view startMarker,
                      std::string_view endMarker, std::vector<std::string>& out,
                      const ExtractOptions& options) {
  out.clear();
  if (startMarker.empty() || endMarker.empty()) return 0;
  std::size_t from = FromPosition(options.startPosition);
  for (;;) {
    const std::size_t found = FindText(text, startMarker, from, options.ignoreCase);
    if (found == 0) break;
    from = found + startMarker.size();
    const std::size_t closing = FindText(text, endMarker, from, options.ignoreCase);
    if (closing == 0) break;
    std::string piece;
    if (options.includeStartMarker) piece.append(startMarker);
    piece.append(options.prefix);
    piece.append(text.substr(from - 1, closing - from));
    piece.append(options.suffix);
    if (options.includeEndMarker) piece.append(endMarker);
    if (options.maxLength == 0 || piece.size() < options.maxLength) out.push_back(std::move(piece));
  }
  return static_cast<int>(out.size());
}

std::size_t ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
  if (from.empty()) return 0;
  std::string out;
  std::size_t pos = 0;
  std::size_t count = 0;
  for (std::size_t hit; (hit = text.find(from, pos)) != std::string::npos;
       pos = hit + from.size()) {
    out.append(text, pos, hit - pos);
    out.append(to);
    ++count;
  }
  if (count == 0) return 0;
  out.append(text, pos, std::string::npos);
  text.swap(out);
  return count;
}

bool HasExemptKeyword(std::string_view text) {
  static constexpr std::array<std::string_view, 3> kKeywords = {"疫情新闻", "疫情出行", "疫情数字"};
  for (std::string_view keyword : kKeywords) {
    if (text.find(keyword) != std::string_view::npos) return true;
  }
  return false;
}

std::string PercentEncodeBytes(std::string_view bytes, bool keepSafe) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size() * 3);
  for (char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    const bool safe = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                      (byte >= '0' && byte <= '9') || byte == '-' || byte == '.';
    if (keepSafe && safe) {
      out.push_back(c);
    } else {
      out.push_back('%');
      out.push_back(kHex[byte >> 4]);
      out.push_back(kHex[byte & 0xF]);
    }
  }
  return out;
}

}  // namespace guild
