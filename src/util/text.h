#pragma once
// Cutting texts at separators and markers. Positions are 1-based byte positions; a match
// is only found where a character begins, never inside a multi-byte UTF-8 character.
// `ignoreCase` folds ASCII letters only. An empty separator or marker never matches.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace guild {

// 1-based position of the first match of `needle` at or after `from`, or 0.
std::size_t FindText(std::string_view text, std::string_view needle, std::size_t from = 1,
                     bool ignoreCase = false);

// Everything after the last `separator`; "" when there is none. With `startPosition` p,
// only matches lying wholly in the first p - 1 bytes count.
std::string TextAfterLast(std::string_view text, std::string_view separator,
                          std::optional<std::int64_t> startPosition = std::nullopt,
                          bool ignoreCase = false);

// Everything before the first `separator` found from `startPosition` (1 when not above 0);
// "" when there is none.
std::string TextBeforeFirst(std::string_view text, std::string_view separator,
                            std::int64_t startPosition = 1, bool ignoreCase = false);

// The text between the first `startMarker` (searched from `startPosition`) and the next
// `endMarker`; "" when either is missing. "#引号" in a marker stands for a double quote.
std::string TextBetween(std::string_view text, std::string_view startMarker,
                        std::string_view endMarker, std::int64_t startPosition = 1,
                        bool ignoreCase = false);

struct ExtractOptions {
  bool ignoreCase = false;
  std::size_t maxLength = 0;  // pieces at least this long are skipped; 0: no limit
  std::string prefix;
  std::string suffix;
  bool includeStartMarker = false;
  bool includeEndMarker = false;
  std::int64_t startPosition = 0;  // 0: from the beginning
};

// Every text between a start marker and the next end marker. Each search for the next
// start marker begins right after the previous one, so pieces may overlap
// ("[a[b]" with "[" and "]" gives "a[b" and "b"). `out` is emptied first; returns its size.
int ExtractAllBetween(std::string_view text, std::string_view startMarker,
                      std::string_view endMarker, std::vector<std::string>& out,
                      const ExtractOptions& options = {});

// Replaces every occurrence of `from` (left to right, not overlapping); an empty `from`
// changes nothing. Returns the number of replacements.
std::size_t ReplaceAll(std::string& text, std::string_view from, std::string_view to);

// True when the text holds one of the keywords that exempt a channel from moderation.
bool HasExemptKeyword(std::string_view text);

// Every byte as "%" + two upper-case hex digits, except ASCII letters, digits, "-" and "."
// when `keepSafe` is set.
std::string PercentEncodeBytes(std::string_view bytes, bool keepSafe);

}  // namespace guild
