#include "http/cookies.h"

#include <string_view>
#include <vector>

namespace guild {
namespace {

std::string WithoutBlanks(std::string_view text) {
  static constexpr std::string_view kWideBlank = "\u3000";
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    if (text[i] == ' ') {
      ++i;
    } else if (text.substr(i, kWideBlank.size()) == kWideBlank) {
      i += kWideBlank.size();
    } else {
      out.push_back(text[i++]);
    }
  }
  return out;
}

// Items between ";"; inner empty items stay, a trailing ";" adds none.
std::vector<std::string> SplitItems(const std::string& text) {
  std::vector<std::string> items;
  if (text.empty()) return items;
  std::size_t pos = 0;
  for (;;) {
    const std::size_t hit = text.find(';', pos);
    if (hit == std::string::npos) {
      if (pos < text.size()) items.push_back(text.substr(pos));
      return items;
    }
    items.push_back(text.substr(pos, hit - pos));
    pos = hit + 1;
  }
}

std::string_view NameOf(std::string_view item) {
  return item.substr(0, item.find('='));
}

bool IsDeleted(std::string_view item) {
  static constexpr std::string_view kDeleted = "=deleted";
  return item.size() >= kDeleted.size() && item.substr(item.size() - kDeleted.size()) == kDeleted;
}

}  // namespace

std::string MergeCookies(std::string& sent, std::string& received) {
  sent = WithoutBlanks(sent);
  received = WithoutBlanks(received);
  std::vector<std::string> merged = SplitItems(received);
  for (const std::string& item : SplitItems(sent)) {
    bool known = false;
    for (const std::string& have : merged) known = known || NameOf(have) == NameOf(item);
    if (!known) merged.push_back(item);
  }
  std::vector<std::string> kept;
  for (const std::string& item : merged) {
    if (IsDeleted(item)) continue;
    bool repeat = false;
    for (const std::string& have : kept) repeat = repeat || have == item;
    if (!repeat) kept.push_back(item);
  }
  std::string result;
  for (std::size_t i = 0; i < kept.size(); ++i) {
    if (i > 0) result.append("; ");
    result.append(kept[i]);
  }
  sent = result;
  return result;
}

}  // namespace guild
