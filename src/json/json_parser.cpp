#include "json/json_parser.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

#include "json/json_number.h"
#include "json/json_text.h"

namespace guild::json {
namespace {

constexpr std::size_t kNone = std::numeric_limits<std::size_t>::max();
constexpr int kNoCloser = -1;

enum class State : std::uint8_t { kExpectName = 1, kExpectValue = 2, kAfterContainer = 3 };

enum Code : int {
  kOk = 0,
  kNoMemory = -3,
  kStructure = -4,
  kUnclosed = -5,
  kBadToken = -6,
};

struct Entry {
  Node* container;
  State state;
  std::size_t base;    // first pending child of this container
  ObjectIndex* index;  // names of a large object under construction
};

// Reused between parses on one thread so that small parses allocate nothing here.
struct Scratch {
  std::vector<Entry> stack;
  std::vector<Node*> pending;

  void Trim() {
    constexpr std::size_t kKeep = 1 << 16;
    if (stack.capacity() > kKeep) std::vector<Entry>().swap(stack);
    if (pending.capacity() > kKeep) std::vector<Node*>().swap(pending);
  }
};

thread_local Scratch scratch;

// Blanks between tokens; NUL counts as one, as the terminator of a text did.
inline bool IsBlank(unsigned char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == 0;
}

inline bool IsQuote(unsigned char c) {
  return c == '"' || c == '\'';
}

int HexDigit(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// WTF-8 of one UTF-16 code unit (a surrogate alone takes three bytes, joined later).
std::size_t EncodeUnit(char16_t unit, char* out) {
  if (unit < 0x80) {
    out[0] = static_cast<char>(unit);
    return 1;
  }
  if (unit < 0x800) {
    out[0] = static_cast<char>(0xC0 | (unit >> 6));
    out[1] = static_cast<char>(0x80 | (unit & 0x3F));
    return 2;
  }
  out[0] = static_cast<char>(0xE0 | (unit >> 12));
  out[1] = static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
  out[2] = static_cast<char>(0x80 | (unit & 0x3F));
  return 3;
}

// First byte in [p, end) equal to `a` or `b`, eight bytes at a time.
const char* FindEither(const char* p, const char* end, char a, char b) {
  constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
  constexpr std::uint64_t kHighs = 0x8080808080808080ULL;
  const std::uint64_t maskA = kOnes * static_cast<unsigned char>(a);
  const std::uint64_t maskB = kOnes * static_cast<unsigned char>(b);
  while (end - p >= 8) {
    std::uint64_t word;
    std::memcpy(&word, p, 8);
    const std::uint64_t x = word ^ maskA;
    const std::uint64_t y = word ^ maskB;
    const std::uint64_t hits = ((x - kOnes) & ~x & kHighs) | ((y - kOnes) & ~y & kHighs);
    if (hits != 0) return p + (__builtin_ctzll(hits) >> 3);
    p += 8;
  }
  while (p < end && *p != a && *p != b) ++p;
  return p;
}

class Parser {
 public:
  Parser(Node* root, char* text, std::size_t length, ParseOptions options, Arena* arena)
      : root_(root),
        s_(text),
        n_(length),
        options_(options),
        arena_(arena),
        stack_(scratch.stack),
        pending_(scratch.pending) {}

  int Run(std::size_t& errorAt);
  void Abandon();
  void Finish() { CreditArena(); }

 private:
  enum class Stop { kComma, kClose, kOpen, kEnd };
  struct Token {
    std::size_t start = kNone;
    std::size_t end = 0;
    bool quoted = false;
  };
  struct Scalar {
    Kind kind = Kind::kNull;
    char* text = nullptr;
    std::size_t length = 0;
    bool truth = false;
  };

  int Open(Kind kind);
  void Close();
  int ObjectStep(std::size_t& i, std::size_t& errorAt);
  int ArrayStep(std::size_t& i, std::size_t& errorAt);
  int RootScalar(std::size_t& i);
  int ScanValue(std::size_t& i, int closer, Token& token, Stop& stop, Kind& openKind,
                std::size_t& errorAt);
  std::size_t SkipEscape(std::size_t i) const;
  bool Classify(std::size_t start, std::size_t end, Scalar& out);
  Node* MakeNode(const Scalar& scalar);
  Node* NewChild(Kind kind);
  std::string_view TakeName();
  void StoreMember(Entry& entry, Node* node);
  void CreditArena();

  Node* root_;
  char* s_;
  std::size_t n_;
  ParseOptions options_;
  Arena* arena_;
  std::vector<Entry>& stack_;
  std::vector<Node*>& pending_;
  std::size_t made_ = 0;      // arena nodes made
  std::size_t credited_ = 0;  // of which the arena has been told
  // The member name waiting for its value: its text and where its token began.
  std::size_t nameStart_ = kNone;
  std::size_t nameEnd_ = 0;
  std::size_t nameToken_ = 0;
};

int Parser::Run(std::size_t& errorAt) {
  std::size_t i = 0;
  while (i < n_) {
    const auto c = static_cast<unsigned char>(s_[i]);
    if (IsBlank(c)) {
      ++i;
      continue;
    }
    errorAt = i;
    int code;
    if (c == '{' || c == '[') {
      code = Open(c == '{' ? Kind::kObject : Kind::kArray);
    } else if (stack_.empty()) {
      errorAt = 0;  // a bad lone value is the whole text
      code = options_.lenient ? kOk : RootScalar(i);
    } else if (stack_.back().container->kind == Kind::kArray) {
      code = ArrayStep(i, errorAt);
    } else {
      code = ObjectStep(i, errorAt);
    }
    if (code != kOk) return code;
    ++i;
  }
  if (!stack_.empty()) {
    errorAt = kNone;
    return kUnclosed;
  }
  return kOk;
}

void Parser::CreditArena() {
  if (made_ == credited_) return;
  arena_->refs.fetch_add(made_ - credited_, std::memory_order_relaxed);
  credited_ = made_;
}

Node* Parser::NewChild(Kind kind) {
  Node* node = NewArenaNode(arena_, kind);
  ++made_;
  return node;
}

int Parser::Open(Kind kind) {
  if (stack_.empty()) {
    // Another root in the same text: an object adds to the object root, any other change
    // of kind starts the root afresh.
    if (root_->kind != kind) {
      CreditArena();  // the dropped content may hold nodes of this parse
      Reset(root_, kind);
    }
    const std::size_t base = pending_.size();
    ContainerData& box = root_->box;
    pending_.insert(pending_.end(), box.items, box.items + box.count);
    box.count = 0;
    DropIndex(root_);
    stack_.push_back(
        {root_, kind == Kind::kObject ? State::kExpectName : State::kExpectValue, base, nullptr});
    return kOk;
  }
  Entry& top = stack_.back();
  if (top.state != State::kExpectValue) return kStructure;
  if (top.container->kind == Kind::kObject && nameStart_ == kNone) return kStructure;
  Node* child = NewChild(kind);
  child->parent = top.container;
  if (top.container->kind == Kind::kArray) {
    pending_.push_back(child);
  } else {
    const std::string_view name = TakeName();
    child->name = name.data();
    child->nameLength = static_cast<std::uint32_t>(name.size());
    StoreMember(top, child);
  }
  stack_.push_back({child, kind == Kind::kObject ? State::kExpectName : State::kExpectValue,
                    pending_.size(), nullptr});
  return kOk;
}

void Parser::Close() {
  Entry entry = stack_.back();
  stack_.pop_back();
  Node* container = entry.container;
  const std::size_t count = pending_.size() - entry.base;
  ContainerData& box = container->box;
  if (count > 0) {
    Node** items;
    if (container == root_) {
      // The root outlives this parse's arena, so its item array lives on the heap.
      if ((container->flags & kItemsOwned) && box.capacity >= count) {
        items = box.items;
      } else {
        items = static_cast<Node**>(std::malloc(count * sizeof(Node*)));
        if (items == nullptr) throw std::bad_alloc();
        if (container->flags & kItemsOwned) std::free(box.items);
        container->flags |= kItemsOwned;
        box.capacity = static_cast<std::uint32_t>(count);
      }
    } else {
      items = static_cast<Node**>(arena_->Allocate(count * sizeof(Node*)));
      box.capacity = static_cast<std::uint32_t>(count);
    }
    std::memcpy(items, pending_.data() + entry.base, count * sizeof(Node*));
    box.items = items;
  }
  box.count = static_cast<std::uint32_t>(count);
  box.index = entry.index;
  pending_.resize(entry.base);
  if (!stack_.empty()) stack_.back().state = State::kAfterContainer;
}

std::string_view Parser::TakeName() {
  char* name = s_ + nameStart_;
  std::size_t length = Unescape(name, nameEnd_ - nameStart_, true, options_.decodeUnicode);
  nameStart_ = kNone;
  return {name, length};
}

void Parser::StoreMember(Entry& entry, Node* node) {
  const std::string_view name = node->Name();
  Node** items = pending_.data() + entry.base;
  const std::size_t count = pending_.size() - entry.base;
  std::int64_t found = -1;
  if (count <= kLinearLookupLimit) {
    for (std::size_t i = 0; i < count; ++i) {
      if (items[i]->nameLength == name.size() &&
          std::memcmp(items[i]->name, name.data(), name.size()) == 0) {
        found = static_cast<std::int64_t>(i);
        break;
      }
    }
  } else {
    if (entry.index == nullptr) entry.index = BuildIndex(items, static_cast<std::uint32_t>(count));
    found = IndexFind(entry.index, items, name, HashName(name));
  }
  if (found >= 0) {
    // A repeated name keeps the place of its first occurrence.
    Node* old = items[found];
    items[found] = node;
    CreditArena();
    Unlink(old);
    Release(old);
    return;
  }
  pending_.push_back(node);
  if (entry.index != nullptr) {
    IndexAdd(entry.index, pending_.data() + entry.base, static_cast<std::uint32_t>(count));
  }
}

// End of an escape that starts with the backslash at `i`: the next code unit, or 'u' and
// four more code units (counted in UTF-16 units, as the text's positions are).
std::size_t Parser::SkipEscape(std::size_t i) const {
  if (i + 1 >= n_) return n_;
  if (s_[i + 1] != 'u') return i + 2;
  std::size_t j = i + 2;
  for (int units = 0; units < 4 && j < n_;) {
    const auto lead = static_cast<unsigned char>(s_[j]);
    const std::size_t width = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    units += width == 4 ? 2 : 1;
    j += width;
  }
  return j < n_ ? j : n_;
}

// Scans one value token from `i`. Stops at a comma or `closer` (left at i), at '{' or '['
// opening a container (token empty), or at the end of the text. A token is one quoted
// string or one run of plain characters; anything after it but blanks makes it bad.
int Parser::ScanValue(std::size_t& i, int closer, Token& token, Stop& stop, Kind& openKind,
                      std::size_t& errorAt) {
  bool ended = false;  // a blank or a closing quote has ended the token's text
  while (i < n_) {
    const auto c = static_cast<unsigned char>(s_[i]);
    if (IsBlank(c)) {
      if (token.start != kNone) ended = true;
      ++i;
      continue;
    }
    if (c == ',' || c == closer) {
      stop = c == ',' ? Stop::kComma : Stop::kClose;
      return kOk;
    }
    if (token.start != kNone && ended) {
      errorAt = token.start;
      return kBadToken;
    }
    if (c == '{' || c == '[') {
      if (token.start != kNone) {
        errorAt = token.start;
        return kBadToken;
      }
      stop = Stop::kOpen;
      openKind = c == '{' ? Kind::kObject : Kind::kArray;
      return kOk;
    }
    if (IsQuote(c)) {
      if (token.start != kNone) {
        errorAt = token.start;
        return kBadToken;
      }
      token.start = i;
      token.quoted = true;
      std::size_t j = i + 1;
      for (;;) {
        const char* hit = FindEither(s_ + j, s_ + n_, static_cast<char>(c), '\\');
        j = static_cast<std::size_t>(hit - s_);
        if (j >= n_) {
          errorAt = token.start;  // a quote left open
          return kBadToken;
        }
        if (static_cast<unsigned char>(s_[j]) == c) break;
        j = SkipEscape(j);
      }
      i = j + 1;
      token.end = i;
      ended = true;
      continue;
    }
    if (c == '\\') {
      // A backslash belongs only inside quotes; a plain token holding one is never valid.
      errorAt = token.start != kNone ? token.start : i;
      return kBadToken;
    }
    if (token.start == kNone) token.start = i;
    ++i;
    token.end = i;
  }
  stop = Stop::kEnd;
  return kOk;
}

bool Parser::Classify(std::size_t start, std::size_t end, Scalar& out) {
  char* text = s_ + start;
  const std::size_t length = end - start;
  const auto first = static_cast<unsigned char>(text[0]);
  if (IsQuote(first)) {
    if (length < 2 || static_cast<unsigned char>(text[length - 1]) != first) return false;
    out.kind = Kind::kString;
    out.text = text + 1;
    out.length = Unescape(text + 1, length - 2, false, options_.decodeUnicode);
    return true;
  }
  const std::string_view token(text, length);
  if (token == "null") {
    out.kind = Kind::kNull;
    return true;
  }
  if (token == "true" || token == "false") {
    out.kind = Kind::kBoolean;
    out.truth = first == 't';
    return true;
  }
  const NumberForm form = ClassifyNumber(token);
  if (form == NumberForm::kNone) return false;
  out.kind = form == NumberForm::kReal ? Kind::kReal : Kind::kInteger;
  out.text = text;
  out.length = length;
  return true;
}

Node* Parser::MakeNode(const Scalar& scalar) {
  Node* node = NewChild(scalar.kind);
  switch (scalar.kind) {
    case Kind::kBoolean:
      node->scalar.integer = scalar.truth ? 1 : 0;
      break;
    case Kind::kString:
      node->scalar.text = scalar.text;
      node->scalar.length = static_cast<std::uint32_t>(scalar.length);
      break;
    case Kind::kReal:
    case Kind::kInteger:
      node->flags = kInArena | kValueFromLiteral;
      node->scalar.text = scalar.text;
      node->scalar.length = static_cast<std::uint32_t>(scalar.length);
      break;
    default:
      break;
  }
  return node;
}

// A text that opens no container is read whole as one value; it ends the parse.
int Parser::RootScalar(std::size_t& i) {
  CreditArena();
  std::size_t start = 0;
  std::size_t end = n_;
  while (start < end && IsBlank(static_cast<unsigned char>(s_[start]))) ++start;
  while (end > start && IsBlank(static_cast<unsigned char>(s_[end - 1]))) --end;
  std::size_t at = start;
  Token token;
  Stop stop = Stop::kEnd;
  Kind openKind = Kind::kNull;
  std::size_t errorAt = 0;
  // The whole text must be exactly one token: no separator, container or second token.
  if (ScanValue(at, kNoCloser, token, stop, openKind, errorAt) != kOk || stop != Stop::kEnd ||
      token.start != start || token.end != end) {
    return kBadToken;
  }
  Scalar scalar;
  if (!Classify(start, end, scalar)) return kBadToken;
  switch (scalar.kind) {
    case Kind::kNull:
      Reset(root_, Kind::kNull);
      break;
    case Kind::kBoolean:
      SetBool(root_, scalar.truth);
      break;
    case Kind::kString:
      SetString(root_, {scalar.text, scalar.length});
      break;
    default: {
      Reset(root_, scalar.kind);
      char* literal = new char[scalar.length];
      std::memcpy(literal, scalar.text, scalar.length);
      root_->flags = static_cast<std::uint8_t>((root_->flags & (kInArena | kNameOwned)) |
                                               kTextOwned | kValueFromLiteral);
      root_->scalar.text = literal;
      root_->scalar.length = static_cast<std::uint32_t>(scalar.length);
      break;
    }
  }
  i = n_;
  return kOk;
}

int Parser::ArrayStep(std::size_t& i, std::size_t& errorAt) {
  Entry& top = stack_.back();
  if (top.state == State::kAfterContainer) {
    top.state = State::kExpectValue;
    if (s_[i] == ',') return kOk;
  }
  Token token;
  Stop stop = Stop::kEnd;
  Kind openKind = Kind::kNull;
  int code = ScanValue(i, ']', token, stop, openKind, errorAt);
  if (code != kOk) return code;
  if (stop == Stop::kOpen) {
    errorAt = i;
    return Open(openKind);
  }
  if (token.start != kNone) {
    Scalar scalar;
    if (!Classify(token.start, token.end, scalar)) {
      errorAt = token.start;
      return kBadToken;
    }
    Node* node = MakeNode(scalar);
    node->parent = top.container;
    pending_.push_back(node);
  }
  if (stop == Stop::kClose) Close();
  return kOk;
}

int Parser::ObjectStep(std::size_t& i, std::size_t& errorAt) {
  Entry& top = stack_.back();
  if (top.state == State::kAfterContainer) {
    top.state = State::kExpectName;
    if (s_[i] == ',') return kOk;
  }
  if (top.state != State::kExpectName) return kStructure;

  // Name phase: a quoted or plain name up to ':'.
  std::size_t nameStart = kNone;
  std::size_t nameEnd = 0;
  std::size_t tokenStart = i;
  bool quotedDone = false;
  bool ended = false;
  for (;;) {
    if (i >= n_) return kOk;  // cut off: the open object is reported at the end
    const auto c = static_cast<unsigned char>(s_[i]);
    if (IsBlank(c)) {
      if (nameStart != kNone) ended = true;
      ++i;
      continue;
    }
    if (c == ':') {
      if (nameStart == kNone) {
        errorAt = i;
        return kStructure;
      }
      break;
    }
    if (c == '{' || c == '[') {
      errorAt = i;
      return kStructure;
    }
    if (c == '}') {
      if (nameStart != kNone) {
        errorAt = tokenStart;
        return kBadToken;
      }
      Close();
      return kOk;
    }
    if (c == ',') {
      errorAt = nameStart != kNone ? tokenStart : i;
      return kBadToken;
    }
    if (nameStart != kNone && (quotedDone || ended || IsQuote(c))) {
      errorAt = i;  // text after a closed name, or a quote after plain name text
      return kStructure;
    }
    if (IsQuote(c)) {
      tokenStart = i;
      nameStart = i + 1;
      std::size_t j = i + 1;
      for (;;) {
        const char* hit = FindEither(s_ + j, s_ + n_, static_cast<char>(c), '\\');
        j = static_cast<std::size_t>(hit - s_);
        if (j >= n_) return kOk;  // cut off inside the name
        if (static_cast<unsigned char>(s_[j]) == c) break;
        j = SkipEscape(j);
      }
      nameEnd = j;
      quotedDone = true;
      i = j + 1;
      continue;
    }
    if (nameStart == kNone) {
      nameStart = i;
      tokenStart = i;
    }
    i = c == '\\' ? SkipEscape(i) : i + 1;
    nameEnd = i;
  }

  // Value phase, right after the colon.
  top.state = State::kExpectValue;
  nameStart_ = nameStart;
  nameEnd_ = nameEnd;
  nameToken_ = tokenStart;
  ++i;
  Token token;
  Stop stop = Stop::kEnd;
  Kind openKind = Kind::kNull;
  int code = ScanValue(i, '}', token, stop, openKind, errorAt);
  if (code != kOk) return code;
  if (stop == Stop::kOpen) {
    errorAt = i;
    return Open(openKind);
  }
  if (token.start == kNone) {
    errorAt = nameToken_;  // a name with no value
    return kBadToken;
  }
  Scalar scalar;
  if (!Classify(token.start, token.end, scalar)) {
    errorAt = token.start;
    return kBadToken;
  }
  Node* node = MakeNode(scalar);
  node->parent = top.container;
  const std::string_view name = TakeName();
  node->name = name.data();
  node->nameLength = static_cast<std::uint32_t>(name.size());
  StoreMember(top, node);
  if (stop == Stop::kClose) {
    Close();
  } else {
    top.state = State::kExpectName;
  }
  return kOk;
}

void Parser::Abandon() {
  CreditArena();
  for (const Entry& entry : stack_) FreeIndex(entry.index);
  stack_.clear();
  // Every node made so far is listed here or inside a closed container listed here.
  for (Node* node : pending_) Release(node);
  pending_.clear();
  DropContent(root_);
}

}  // namespace

std::size_t Unescape(char* text, std::size_t length, bool atTextStart, bool decodeUnicode) {
  std::size_t read = 0;
  std::size_t write = 0;
  bool surrogates = false;
  while (read < length) {
    const void* hit = std::memchr(text + read, '\\', length - read);
    const std::size_t at =
        hit == nullptr ? length : static_cast<std::size_t>(static_cast<const char*>(hit) - text);
    if (write != read) std::memmove(text + write, text + read, at - read);
    write += at - read;
    read = at;
    if (read >= length) break;
    if (read + 1 >= length) {
      text[write++] = '\\';
      read = length;
      break;
    }
    const char next = text[read + 1];
    char produced = 0;
    switch (next) {
      case '"':
      case '\\':
      case '/':
        produced = next;
        break;
      case 'b':
        produced = '\b';
        break;
      case 't':
        produced = '\t';
        break;
      case 'r':
        produced = '\r';
        break;
      case 'f':
        produced = '\f';
        break;
      case 'n': {
        const bool first = write == 0 && atTextStart;
        if (!first && !(write > 0 && text[write - 1] == '\r')) text[write++] = '\r';
        produced = '\n';
        break;
      }
      case 'u':
        if (decodeUnicode && read + 6 <= length) {
          int value = 0;
          bool hex = true;
          for (int k = 2; k < 6; ++k) {
            const int digit = HexDigit(static_cast<unsigned char>(text[read + k]));
            if (digit < 0) hex = false;
            value = value * 16 + digit;
          }
          if (hex) {
            write += EncodeUnit(static_cast<char16_t>(value), text + write);
            read += 6;
            if (value >= 0xD800 && value < 0xE000) surrogates = true;
            continue;
          }
        }
        break;
      default:
        break;
    }
    if (produced != 0) {
      text[write++] = produced;
      read += 2;
    } else {
      // Unknown escape: the backslash stays and the next character is read as text.
      text[write++] = '\\';
      read += 1;
    }
  }
  const void* nul = std::memchr(text, 0, write);
  if (nul != nullptr) write = static_cast<std::size_t>(static_cast<const char*>(nul) - text);
  if (surrogates) write = JoinSurrogatePairs(text, write);
  return write;
}

ParseOutcome ParseText(Node* root, std::string_view text, ParseOptions options) {
  DropContent(root);
  ParseOutcome outcome;
  if (text.size() >= std::numeric_limits<std::uint32_t>::max()) {
    outcome.code = kNoMemory;
    return outcome;
  }
  Arena* arena = nullptr;
  char* copy = nullptr;
  try {
    arena = CreateArena(text.size() * 4 + 1024);
    copy = static_cast<char*>(arena->Allocate(text.size() + 1));
  } catch (const std::bad_alloc&) {
    if (arena != nullptr) ReleaseArena(arena, 1);
    outcome.code = kNoMemory;
    return outcome;
  }
  std::memcpy(copy, text.data(), text.size());
  copy[text.size()] = 0;
  std::size_t errorAt = 0;
  int code = kOk;
  Parser parser(root, copy, text.size(), options, arena);
  try {
    code = parser.Run(errorAt);
  } catch (const std::bad_alloc&) {
    code = kNoMemory;
  }
  if (code != kOk) {
    parser.Abandon();
  } else {
    parser.Finish();
  }
  ReleaseArena(arena, 1);
  scratch.Trim();
  if (code == kOk) return outcome;
  outcome.code = code;
  if (errorAt == kNone) {
    outcome.position = Utf16Length(text) + 1;
  } else {
    outcome.position = Utf16Length(text.substr(0, errorAt));
  }
  return outcome;
}

}  // namespace guild::json
