#pragma once
// Path texts such as `d.author.id` or `data[0].msg`, and the two walks that follow them.
//
// Grammar: '.' and the end of the text end a name segment; '[' ends one and starts an index
// that runs to ']' (or the end), read as a decimal integer after optional blanks and a sign,
// 0 when it is not a number. Empty name segments are skipped. A backslash before '.', '[',
// ']' or a backslash makes that character part of the name; before anything else it stays.
// Every other character, blanks included, belongs to the name, matched exactly.

#include <cstdint>
#include <string>
#include <string_view>

#include "json/json_node.h"

namespace guild::json {

struct Segment {
  bool isIndex = false;
  std::string_view name;  // valid until the next call of Next
  std::int64_t index = 0;
};

class PathReader {
 public:
  explicit PathReader(std::string_view path) : path_(path) {}
  // The next segment; false at the end of the path.
  bool Next(Segment& segment);

 private:
  std::string_view path_;
  std::size_t pos_ = 0;
  std::string buffer_;  // a name whose escapes had to be removed
};

// True when the path has at least one segment.
bool HasSegments(std::string_view path);

// Follows the path without changing anything; null when a segment does not resolve. An index
// on an object addresses its n-th member.
Node* ReadWalk(Node* root, std::string_view path);

// Follows the path making what is missing: a name turns a non-object into an empty object
// and adds a null member; an index turns a non-array into an empty array and pads it with
// nulls. Null for a negative index or one that would need absurd padding; what the walk
// made up to there stays.
Node* CreateWalk(Node* root, std::string_view path);

// Pads `array` with nulls so that it has index + 1 elements; false when index is negative
// or would need more than a million nulls in one step.
bool PadArray(Node* array, std::int64_t index);

}  // namespace guild::json
