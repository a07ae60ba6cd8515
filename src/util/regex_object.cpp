#include "util/regex_object.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

namespace guild {
namespace {

constexpr std::size_t kNone = std::string::npos;
constexpr std::string_view kQuoteMarker = "#引号";

struct Span {
  std::size_t start = kNone;  // kNone: the group took no part in the match
  std::size_t end = kNone;
};

// Group 0 (the whole match), then every group of the pattern.
using Match = std::vector<Span>;

struct CodeFree {
  void operator()(pcre2_code* code) const { pcre2_code_free(code); }
};
struct MatchDataFree {
  void operator()(pcre2_match_data* data) const { pcre2_match_data_free(data); }
};
struct CompileContextFree {
  void operator()(pcre2_compile_context* context) const { pcre2_compile_context_free(context); }
};

std::string ReplaceMarker(std::string_view pattern) {
  std::string out;
  std::size_t from = 0;
  for (std::size_t at; (at = pattern.find(kQuoteMarker, from)) != std::string_view::npos;) {
    out.append(pattern.substr(from, at - from)).push_back('"');
    from = at + kQuoteMarker.size();
  }
  out.append(pattern.substr(from));
  return out;
}

std::unique_ptr<pcre2_code, CodeFree> Compile(const std::string& pattern, bool caseSensitive,
                                              bool multiline) {
  std::unique_ptr<pcre2_compile_context, CompileContextFree> context(
      pcre2_compile_context_create(nullptr));
  if (!context) return nullptr;
  // JavaScript ends lines at CR as well as LF; the library's default is LF alone.
  pcre2_set_newline(context.get(), PCRE2_NEWLINE_ANYCRLF);
  // ALT_BSUX gives JavaScript's \uXXXX; DOLLAR_ENDONLY keeps '$' from matching before a final
  // line break outside multi-line mode, as in JavaScript.
  std::uint32_t options = PCRE2_UTF | PCRE2_MATCH_INVALID_UTF | PCRE2_ALT_BSUX;
  if (!caseSensitive) options |= PCRE2_CASELESS;
  options |= multiline ? PCRE2_MULTILINE : PCRE2_DOLLAR_ENDONLY;
  int errorCode = 0;
  PCRE2_SIZE errorOffset = 0;
  return std::unique_ptr<pcre2_code, CodeFree>(
      pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(), options,
                    &errorCode, &errorOffset, context.get()));
}

// The next place a character may begin; skipping continuation bytes keeps the offset off
// the middle of a character even in invalid UTF-8.
std::size_t NextCharStart(std::string_view text, std::size_t pos) {
  ++pos;
  while (pos < text.size() && (static_cast<unsigned char>(text[pos]) & 0xC0) == 0x80) ++pos;
  return pos;
}

std::optional<std::vector<Match>> FindMatches(const pcre2_code* code, std::string_view subject,
                                              bool global) {
  std::uint32_t groupCount = 0;
  pcre2_pattern_info(code, PCRE2_INFO_CAPTURECOUNT, &groupCount);
  std::unique_ptr<pcre2_match_data, MatchDataFree> data(
      pcre2_match_data_create_from_pattern(code, nullptr));
  if (!data) return std::nullopt;

  std::vector<Match> matches;
  const auto* bytes = reinterpret_cast<PCRE2_SPTR>(subject.data());
  std::size_t offset = 0;
  while (offset <= subject.size()) {
    int rc = pcre2_match(code, bytes, subject.size(), offset, 0, data.get(), nullptr);
    if (rc == PCRE2_ERROR_NOMATCH) break;
    if (rc < 0) return std::nullopt;
    const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(data.get());
    Match match(groupCount + 1);
    for (std::uint32_t i = 0; i < static_cast<std::uint32_t>(rc) && i <= groupCount; ++i) {
      if (ovector[2 * i] != PCRE2_UNSET) match[i] = {ovector[2 * i], ovector[2 * i + 1]};
    }
    matches.push_back(std::move(match));
    if (!global) break;
    // As in JavaScript, an empty match moves the search on by one character.
    offset = ovector[1] > ovector[0] ? ovector[1] : NextCharStart(subject, ovector[1]);
  }
  return matches;
}

}  // namespace

struct RegexObject::State {
  std::mutex mutex;
  bool ready = false;
  std::string pattern;
  std::string subject;
  std::vector<Match> matches;

  const Span* Find(int n, int k) const {
    if (n < 1 || static_cast<std::size_t>(n) > matches.size()) return nullptr;
    const Match& match = matches[n - 1];
    if (k < 0 || static_cast<std::size_t>(k) >= match.size()) return nullptr;
    const Span& span = match[k];
    return span.start == kNone ? nullptr : &span;
  }

  std::string Text(const Span* span, std::size_t* position) const {
    if (position) *position = span ? span->start : kNone;
    return span ? subject.substr(span->start, span->end - span->start) : std::string();
  }

  // JavaScript's rule: $nn names group nn when it exists, else $n followed by the digit;
  // anything else after '$' is kept literally.
  void Expand(const Match& match, std::string_view replacement, std::string& out) const {
    const std::size_t groupCount = match.size() - 1;
    auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    auto appendGroup = [&](std::size_t k) {
      if (match[k].start != kNone)
        out.append(subject, match[k].start, match[k].end - match[k].start);
    };
    for (std::size_t i = 0; i < replacement.size(); ++i) {
      char c = replacement[i];
      if (c != '$' || i + 1 == replacement.size()) {
        out.push_back(c);
        continue;
      }
      char next = replacement[i + 1];
      if (next == '$') {
        out.push_back('$');
        ++i;
      } else if (next == '&') {
        appendGroup(0);
        ++i;
      } else if (next == '`') {
        out.append(subject, 0, match[0].start);
        ++i;
      } else if (next == '\'') {
        out.append(subject, match[0].end);
        ++i;
      } else if (isDigit(next)) {
        std::size_t one = next - '0';
        if (i + 2 < replacement.size() && isDigit(replacement[i + 2])) {
          std::size_t two = one * 10 + (replacement[i + 2] - '0');
          if (two >= 1 && two <= groupCount) {
            appendGroup(two);
            i += 2;
            continue;
          }
        }
        if (one >= 1 && one <= groupCount) {
          appendGroup(one);
          ++i;
        } else {
          out.push_back('$');
        }
      } else {
        out.push_back('$');
      }
    }
  }
};

RegexObject::RegexObject() : state_(std::make_shared<State>()) {}

bool RegexObject::Create(std::string_view pattern, std::string_view subject, bool caseSensitive,
                         bool multiline, bool global, bool quoteMarker) {
  std::string used = quoteMarker ? ReplaceMarker(pattern) : std::string(pattern);
  std::optional<std::vector<Match>> matches;
  if (auto code = Compile(used, caseSensitive, multiline))
    matches = FindMatches(code.get(), subject, global);

  std::lock_guard lock(state_->mutex);
  state_->ready = matches.has_value();
  state_->pattern = matches ? std::move(used) : std::string();
  state_->subject = matches ? std::string(subject) : std::string();
  state_->matches = matches ? std::move(*matches) : std::vector<Match>();
  return state_->ready;
}

std::string RegexObject::GetPattern() const {
  std::lock_guard lock(state_->mutex);
  return state_->pattern;
}

std::string RegexObject::Replace(std::string_view replacement) const {
  std::lock_guard lock(state_->mutex);
  if (!state_->ready) return {};
  const std::string& subject = state_->subject;
  std::string out;
  std::size_t copied = 0;
  for (const Match& match : state_->matches) {
    out.append(subject, copied, match[0].start - copied);
    state_->Expand(match, replacement, out);
    copied = match[0].end;
  }
  out.append(subject, copied);
  return out;
}

int RegexObject::MatchCount() const {
  std::lock_guard lock(state_->mutex);
  return static_cast<int>(state_->matches.size());
}

std::string RegexObject::GetMatch(int n, std::size_t* position) const {
  std::lock_guard lock(state_->mutex);
  return state_->Text(state_->Find(n, 0), position);
}

std::string RegexObject::GetSubMatch(int n, int k, std::size_t* position) const {
  std::lock_guard lock(state_->mutex);
  return state_->Text(k < 1 ? nullptr : state_->Find(n, k), position);
}

int RegexObject::SubMatchCount() const {
  std::lock_guard lock(state_->mutex);
  return state_->matches.empty() ? 0 : static_cast<int>(state_->matches.front().size() - 1);
}

}  // namespace guild
