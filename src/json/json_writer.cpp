#include "json/json_writer.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "json/json_number.h"

namespace guild::json {
namespace {

// Escape letter of each byte; kSurrogateLead marks the first byte of a possible lone
// surrogate, which needs a look at the next byte.
constexpr unsigned char kSurrogateLead = 1;

constexpr std::array<unsigned char, 256> MakeTable(bool escape, bool validUtf8) {
  std::array<unsigned char, 256> table{};
  if (escape) {
    table['"'] = '"';
    table['\\'] = '\\';
    table['/'] = '/';
    table['\b'] = 'b';
    table['\t'] = 't';
    table['\n'] = 'n';
    table['\f'] = 'f';
    table['\r'] = 'r';
  }
  if (validUtf8) table[0xED] = kSurrogateLead;
  return table;
}

constexpr auto kEscapeUtf8 = MakeTable(true, true);
constexpr auto kEscapeWtf8 = MakeTable(true, false);
constexpr auto kRawUtf8 = MakeTable(false, true);
constexpr auto kRawWtf8 = MakeTable(false, false);

// Appends into a std::string through a raw cursor; the string is cut to size at the end.
class Output {
 public:
  explicit Output(std::string& out) : out_(out) {
    Grow(out.capacity() > out.size() + 64 ? out.capacity() - out.size() : 256);
  }
  ~Output() { out_.resize(static_cast<std::size_t>(cursor_ - out_.data())); }

  void Room(std::size_t bytes) {
    if (static_cast<std::size_t>(end_ - cursor_) < bytes) Grow(bytes);
  }
  void Put(char c) {
    Room(1);
    *cursor_++ = c;
  }
  void PutUnchecked(char c) { *cursor_++ = c; }
  void Append(const char* text, std::size_t length) {
    Room(length);
    std::memcpy(cursor_, text, length);
    cursor_ += length;
  }
  void Append(std::string_view text) { Append(text.data(), text.size()); }
  void Repeat(char c, std::size_t count) {
    Room(count);
    std::memset(cursor_, c, count);
    cursor_ += count;
  }

 private:
  void Grow(std::size_t bytes) {
    const std::size_t used = cursor_ == nullptr ? out_.size() : cursor_ - out_.data();
    const std::size_t size = std::max(out_.size() * 2, used + bytes + 64);
    out_.resize(size);
    cursor_ = out_.data() + used;
    end_ = out_.data() + out_.size();
  }

  std::string& out_;
  char* cursor_ = nullptr;
  char* end_ = nullptr;
};

void WriteString(Output& out, std::string_view text, const std::array<unsigned char, 256>& table) {
  out.Put('"');
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* end = p + text.size();
  while (p < end) {
    const unsigned char* run = p;
    while (p < end && table[*p] == 0) ++p;
    out.Append(reinterpret_cast<const char*>(run), static_cast<std::size_t>(p - run));
    if (p >= end) break;
    const unsigned char letter = table[*p];
    if (letter == kSurrogateLead) {
      if (p + 2 < end && p[1] >= 0xA0) {
        out.Append("\xEF\xBF\xBD", 3);
        p += 3;
      } else {
        out.Put(static_cast<char>(*p++));
      }
      continue;
    }
    out.Room(2);
    out.PutUnchecked('\\');
    out.PutUnchecked(static_cast<char>(letter));
    ++p;
  }
  out.Put('"');
}

void WriteScalar(Output& out, const Node* node, const std::array<unsigned char, 256>& table) {
  switch (node->kind) {
    case Kind::kString:
      WriteString(out, node->Text(), table);
      return;
    default: {
      char buffer[kNumberBufferSize];
      out.Append(Literal(node, buffer));
      return;
    }
  }
}

}  // namespace

void WriteNode(const Node* node, const WriteOptions& options, std::string& text) {
  const auto& table = options.escape ? (options.validUtf8 ? kEscapeUtf8 : kEscapeWtf8)
                                     : (options.validUtf8 ? kRawUtf8 : kRawWtf8);
  Output out(text);
  if (!IsContainer(node->kind)) {
    WriteScalar(out, node, table);
    return;
  }
  struct Frame {
    const Node* container;
    std::uint32_t next;
  };
  std::vector<Frame> stack;
  const bool pretty = options.pretty;
  auto open = [&](const Node* container) {
    if (container->kind == Kind::kArray) {
      out.Put('[');
    } else {
      out.Put('{');
      if (pretty) out.Append("\r\n", 2);
    }
    stack.push_back({container, 0});
  };
  open(node);
  while (!stack.empty()) {
    Frame& frame = stack.back();
    const Node* container = frame.container;
    const std::uint32_t count = container->box.count;
    const bool object = container->kind == Kind::kObject;
    // Depth outside this container is the number of containers around it.
    const std::size_t depth = stack.size() - 1;
    if (frame.next == count) {
      if (object) {
        if (pretty) {
          if (count > 0) out.Append("\r\n", 2);
          out.Repeat('\t', depth);
        }
        out.Put('}');
      } else {
        out.Put(']');
      }
      stack.pop_back();
      continue;
    }
    if (frame.next > 0) {
      out.Put(',');
      if (object && pretty) out.Append("\r\n", 2);
    }
    const Node* child = container->box.items[frame.next++];
    if (object) {
      if (pretty) out.Repeat('\t', depth + 1);
      WriteString(out, child->Name(), table);
      out.Put(':');
    }
    if (IsContainer(child->kind)) {
      open(child);
    } else {
      WriteScalar(out, child, table);
    }
  }
}

}  // namespace guild::json
