#include "json/json_path.h"

#include "json/json_number.h"

namespace guild::json {
namespace {

// A mistyped index must not make the process allocate without end.
constexpr std::int64_t kMaxPadding = std::int64_t{1} << 20;

bool IsPathEscapable(char c) {
  return c == '.' || c == '[' || c == ']' || c == '\\';
}

// Plain digits, the common index, are read here; anything else as a signed decimal.
std::int64_t ReadIndex(std::string_view text) {
  if (!text.empty() && text.size() < 10) {
    std::int64_t value = 0;
    for (const char c : text) {
      if (c < '0' || c > '9') return ReadInteger(text);
      value = value * 10 + (c - '0');
    }
    return value;
  }
  return ReadInteger(text);
}

}  // namespace

bool PathReader::Next(Segment& segment) {
  const std::size_t size = path_.size();
  while (pos_ < size && path_[pos_] == '.') ++pos_;
  if (pos_ >= size) return false;
  if (path_[pos_] == '[') {
    const std::size_t close = path_.find(']', pos_ + 1);
    const std::size_t end = close == std::string_view::npos ? size : close;
    segment.isIndex = true;
    segment.index = ReadIndex(path_.substr(pos_ + 1, end - pos_ - 1));
    pos_ = end == size ? size : end + 1;
    return true;
  }
  const std::size_t start = pos_;
  bool escaped = false;
  for (; pos_ < size; ++pos_) {
    const char c = path_[pos_];
    if (c == '.' || c == '[') break;
    if (c == '\\' && pos_ + 1 < size && IsPathEscapable(path_[pos_ + 1])) {
      escaped = true;
      ++pos_;
    }
  }
  segment.isIndex = false;
  segment.name = path_.substr(start, pos_ - start);
  if (escaped) {
    buffer_.clear();
    const std::string_view raw = segment.name;
    for (std::size_t i = 0; i < raw.size(); ++i) {
      if (raw[i] == '\\' && i + 1 < raw.size() && IsPathEscapable(raw[i + 1])) ++i;
      buffer_.push_back(raw[i]);
    }
    segment.name = buffer_;
  }
  return true;
}

bool HasSegments(std::string_view path) {
  PathReader reader(path);
  Segment segment;
  return reader.Next(segment);
}

Node* ReadWalk(Node* root, std::string_view path) {
  Node* node = root;
  if (node == nullptr) return nullptr;
  PathReader reader(path);
  Segment segment;
  while (reader.Next(segment)) {
    if (segment.isIndex) {
      if (!IsContainer(node->kind) || segment.index < 0 || segment.index >= node->box.count) {
        return nullptr;
      }
      node = node->box.items[segment.index];
      continue;
    }
    if (node->kind != Kind::kObject) return nullptr;
    const std::int64_t at = FindMember(node, segment.name);
    if (at < 0) return nullptr;
    node = node->box.items[at];
  }
  return node;
}

bool PadArray(Node* array, std::int64_t index) {
  if (index < 0) return false;
  const std::int64_t count = array->box.count;
  if (index < count) return true;
  if (index - count >= kMaxPadding) return false;
  while (array->box.count <= index) {
    Node* null = NewNode(Kind::kNull);
    if (!AppendChild(array, null)) {
      Release(null);
      return false;
    }
  }
  return true;
}

Node* CreateWalk(Node* root, std::string_view path) {
  Node* node = root;
  if (node == nullptr) return nullptr;
  PathReader reader(path);
  Segment segment;
  while (reader.Next(segment)) {
    if (segment.isIndex) {
      if (segment.index < 0) return nullptr;
      if (node->kind != Kind::kArray) Reset(node, Kind::kArray);
      if (!PadArray(node, segment.index)) return nullptr;
      node = node->box.items[segment.index];
      continue;
    }
    if (node->kind != Kind::kObject) Reset(node, Kind::kObject);
    const std::int64_t at = FindMember(node, segment.name);
    if (at >= 0) {
      node = node->box.items[at];
      continue;
    }
    Node* member = NewNode(Kind::kNull);
    if (!StoreMember(node, segment.name, member)) {
      Release(member);
      return nullptr;
    }
    node = member;
  }
  return node;
}

}  // namespace guild::json
