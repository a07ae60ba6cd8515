#pragma once
// Serialisation. Compact: no blank anywhere; numbers from their literals; strings and names
// escape " \ / and BS TAB LF FF CR, and write every other character (other control
// characters and all non-ASCII included) as itself, never as \u.
// Pretty: objects only break lines (CR LF after '{' and after each member, one TAB per
// depth before members and '}'); arrays stay on one line.

#include <string>

#include "json/json_node.h"

namespace guild::json {

struct WriteOptions {
  bool pretty = false;
  bool escape = true;     // false writes strings and names raw, quotes and backslashes too
  bool validUtf8 = true;  // a lone surrogate becomes U+FFFD; false keeps WTF-8 for UTF-16
};

// Appends the text of `node` to `out`; iterative, so any depth is fine.
void WriteNode(const Node* node, const WriteOptions& options, std::string& out);

}  // namespace guild::json
