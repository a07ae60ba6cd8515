#include "onebot/actions/action_request.h"

namespace guild {
namespace {

// Follows the members of one JSON object and finds where each value's text begins and ends.
// Where the text is not plain JSON a step returns false, and the caller falls back to the
// parsed document.
class Scanner {
 public:
  explicit Scanner(std::string_view text) : text_(text) {}

  void SkipBlanks() {
    while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t' ||
                                   text_[pos_] == '\r' || text_[pos_] == '\n')) {
      ++pos_;
    }
  }
  bool Take(char c) {
    SkipBlanks();
    if (pos_ >= text_.size() || text_[pos_] != c) return false;
    ++pos_;
    return true;
  }
  // A string; `inside` receives its text between the quotes, escapes as written.
  bool String(std::string_view* inside) {
    if (!Take('"')) return false;
    const std::size_t start = pos_;
    while (pos_ < text_.size() && text_[pos_] != '"') {
      if (text_[pos_] == '\\') ++pos_;
      ++pos_;
    }
    if (pos_ >= text_.size()) return false;
    if (inside != nullptr) *inside = text_.substr(start, pos_ - start);
    ++pos_;
    return true;
  }
  // Any value; containers are followed by their brackets (iteratively, so no nesting depth
  // can exhaust the stack), strings by their quotes.
  bool Value(std::string_view* span) {
    SkipBlanks();
    const std::size_t start = pos_;
    if (pos_ >= text_.size()) return false;
    const char first = text_[pos_];
    if (first == '"') {
      if (!String(nullptr)) return false;
    } else if (first == '{' || first == '[') {
      if (!Container()) return false;
    } else {
      while (pos_ < text_.size() &&
             std::string_view(",}] \t\r\n").find(text_[pos_]) == std::string_view::npos) {
        ++pos_;
      }
      if (pos_ == start) return false;
    }
    if (span != nullptr) *span = text_.substr(start, pos_ - start);
    return true;
  }

 private:
  bool Container() {
    std::size_t depth = 0;
    while (pos_ < text_.size()) {
      const char c = text_[pos_];
      if (c == '"') {
        if (!String(nullptr)) return false;
        continue;
      }
      // A single-quoted string of the lenient parser could hide a bracket.
      if (c == '\'') return false;
      ++pos_;
      if (c == '{' || c == '[') ++depth;
      if ((c == '}' || c == ']') && --depth == 0) return true;
    }
    return false;
  }

  std::string_view text_;
  std::size_t pos_ = 0;
};

}  // namespace

std::optional<std::string_view> RawMemberValue(std::string_view json, std::string_view name) {
  Scanner scanner(json);
  if (!scanner.Take('{')) return std::nullopt;
  std::optional<std::string_view> found;
  if (scanner.Take('}')) return found;
  while (true) {
    std::string_view key;
    std::string_view value;
    if (!scanner.String(&key) || !scanner.Take(':') || !scanner.Value(&value)) {
      return std::nullopt;
    }
    if (key == name) found = value;
    if (scanner.Take('}')) return found;
    if (!scanner.Take(',')) return std::nullopt;
  }
}

ActionRequest ReadActionRequest(std::string raw) {
  ActionRequest request;
  request.raw = std::move(raw);
  const bool parsed = request.document.Parse(request.raw, /*decodeUnicode=*/true);
  request.isObject = parsed && request.document.TypeOf() == JsonKind::kObject &&
                     request.raw.find('{') != std::string::npos;
  if (!request.isObject) return request;
  request.action = request.document.GetText("action");
  if (const auto echo = RawMemberValue(request.raw, "echo")) {
    request.echoJson = std::string(*echo);
  } else if (request.document.Exists("echo")) {
    // Written in a form the scanner does not follow (an escaped name, single quotes): the
    // parsed value, written as JSON, is the same value.
    request.echoJson = request.document.ToText("echo");
  }
  return request;
}

}  // namespace guild
