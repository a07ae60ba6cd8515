#pragma once
// The lenient single-pass parser. Nesting depth is limited only by memory: open containers
// live on an explicit stack, never on the call stack.

#include <cstddef>
#include <string_view>

#include "json/json_node.h"

namespace guild::json {

struct ParseOptions {
  bool decodeUnicode = false;  // \uXXXX becomes the code unit; otherwise kept as six characters
  bool lenient = false;        // characters outside the outermost container are ignored
};

struct ParseOutcome {
  int code = 0;              // 0, or -3 (no memory), -4 (structure), -5 (unclosed), -6 (token)
  std::size_t position = 0;  // UTF-16 code unit index of the failure; 0 after success
};

// Empties `root` in place and fills it from `text` (valid WTF-8). On failure nothing of the
// text remains: the root is emptied again (a container stays of the kind it had become).
ParseOutcome ParseText(Node* root, std::string_view text, ParseOptions options);

// In-place unescaping of a string token or member name; returns the new length. A text cut
// at its first NUL, and surrogate escapes that form a pair become one character.
std::size_t Unescape(char* text, std::size_t length, bool atTextStart, bool decodeUnicode);

}  // namespace guild::json
