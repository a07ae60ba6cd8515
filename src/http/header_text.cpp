#include "http/header_text.h"

#include <algorithm>

#include "util/text.h"

namespace guild {
namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kWideBlank = "\u3000";

char Upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Removes every "Set-Cookie:" from the line, letter case ignored.
std::string WithoutSetCookieMarker(std::string_view line) {
  static constexpr std::string_view kMarker = "Set-Cookie:";
  std::string out;
  std::size_t from = 1;
  for (std::size_t at; (at = FindText(line, kMarker, from, true)) != 0;) {
    out.append(line.substr(from - 1, at - from));
    from = at + kMarker.size();
  }
  out.append(line.substr(std::min(from - 1, line.size())));
  return out;
}

bool Qualifies(std::string_view line, SetCookieLines rule) {
  if (rule == SetCookieLines::kContaining) return line.find("Set-Cookie") != std::string_view::npos;
  return line.substr(0, line.find(": ")) == "Set-Cookie";
}

}  // namespace

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [](char x, char y) { return Lower(x) == Lower(y); });
}

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t from = 0;
  for (std::size_t at; (at = text.find(kLineEnd, from)) != std::string_view::npos;) {
    lines.emplace_back(text.substr(from, at - from));
    from = at + kLineEnd.size();
  }
  lines.emplace_back(text.substr(from));
  return lines;
}

std::vector<std::string> HeaderLinesOf(std::string_view text) {
  std::vector<std::string> lines = SplitLines(text);
  std::erase_if(lines, [](const std::string& line) { return line.empty(); });
  return lines;
}

std::string NormalizeHeaderNames(std::string_view text) {
  std::string out;
  for (const std::string& line : SplitLines(text)) {
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    std::string name = line.substr(0, colon);
    bool pieceStart = true;
    for (char& c : name) {
      if (pieceStart) c = Upper(c);
      pieceStart = c == '-';
    }
    out.append(name).append(line, colon).append(kLineEnd);
  }
  if (!out.empty()) out.resize(out.size() - kLineEnd.size());
  return out;
}

std::string TrimBlanks(std::string_view text) {
  for (;;) {
    if (text.starts_with(' ')) {
      text.remove_prefix(1);
    } else if (text.starts_with(kWideBlank)) {
      text.remove_prefix(kWideBlank.size());
    } else if (text.ends_with(' ')) {
      text.remove_suffix(1);
    } else if (text.ends_with(kWideBlank)) {
      text.remove_suffix(kWideBlank.size());
    } else {
      return std::string(text);
    }
  }
}

std::string CookieOfSetCookieLine(std::string_view line) {
  if (line.find(';') == std::string_view::npos) return TrimBlanks(WithoutSetCookieMarker(line));
  return TrimBlanks(TextBetween(line, "Set-Cookie:", ";"));
}

std::string CollectSetCookies(std::string_view headerLines, SetCookieLines rule) {
  std::string cookies;
  for (const std::string& line : SplitLines(headerLines)) {
    if (!Qualifies(line, rule)) continue;
    const std::string cookie = CookieOfSetCookieLine(line);
    if (cookie.empty()) continue;
    if (!cookies.empty()) cookies.append("; ");
    cookies.append(cookie);
  }
  return cookies;
}

std::string CompleteHeaders(std::string text, const std::vector<DefaultHeaderLine>& defaults) {
  for (const DefaultHeaderLine& entry : defaults) {
    if (FindText(text, entry.probe, 1, true) == 0) text.append(kLineEnd).append(entry.line);
  }
  return text;
}

}  // namespace guild
