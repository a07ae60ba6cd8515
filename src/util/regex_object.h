#pragma once
// One regular expression run over one subject text, with access to its matches and groups.
// ECMAScript-like syntax (PCRE2 in UTF mode): '.' and \w as in JavaScript, \uXXXX escapes,
// '.' never matches a line break (LF, CR or CR LF). Positions are byte offsets from 0 in the
// UTF-8 subject; match and group numbers count from 1.

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace guild {

// Copies share one state: a Create through any copy is seen by all of them. Any thread may
// call any method; each call locks the shared state.
class RegexObject {
 public:
  RegexObject();

  // Compiles the pattern and collects its matches in the subject: all of them with global,
  // else the first. With quoteMarker every "#引号" in the pattern stands for a double quote.
  // True also when nothing matched. False, leaving an empty object, when the pattern is
  // rejected or matching hits an engine limit. Invalid UTF-8 in the subject never matches
  // anything but is no error.
  bool Create(std::string_view pattern, std::string_view subject, bool caseSensitive = false,
              bool multiline = true, bool global = true, bool quoteMarker = false);

  // The pattern in use (after marker substitution); "" without a successful Create.
  std::string GetPattern() const;

  // The subject with every collected match replaced. The replacement may name $1..$99, $&,
  // $`, $' and $$ as in JavaScript. "" without a successful Create.
  std::string Replace(std::string_view replacement) const;

  // 0 when nothing matched or without a successful Create.
  int MatchCount() const;

  // Text of match n; "" when there is no such match. position (when given) receives the
  // match's byte offset, or npos when there is no such match.
  std::string GetMatch(int n, std::size_t* position = nullptr) const;

  // Text of group k of match n; "" when either does not exist or the group took no part in
  // the match, and position (when given) then receives npos.
  std::string GetSubMatch(int n, int k, std::size_t* position = nullptr) const;

  // Number of groups of the first match; 0 when nothing matched.
  int SubMatchCount() const;

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace guild
