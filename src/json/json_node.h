#pragma once
// The value model behind JsonDocument: reference-counted nodes, their containers and the
// parse arena that nodes made by one parse share.
//
// Ownership: a container holds one reference on each child, a JsonDocument one on its root.
// A child's `parent` is a plain back pointer; a container that drops a child still held
// elsewhere clears it first, so it never dangles. Counts are atomic so that handles may be
// dropped from any thread; everything else is for one thread at a time per tree.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace guild::json {

enum class Kind : std::uint8_t {
  kNull = 0,
  kReal = 1,
  kInteger = 2,
  kBoolean = 3,
  kString = 4,
  kArray = 5,
  kObject = 6,
};

inline bool IsContainer(Kind kind) {
  return kind == Kind::kArray || kind == Kind::kObject;
}
inline bool IsNumber(Kind kind) {
  return kind == Kind::kReal || kind == Kind::kInteger;
}

struct Arena;
struct ObjectIndex;

enum NodeFlag : std::uint8_t {
  kInArena = 1,            // the node's memory belongs to `arena`, which it keeps alive
  kNameOwned = 2,          // `name` is a heap block of this node
  kTextOwned = 4,          // scalar text is a heap block of this node
  kItemsOwned = 8,         // the item array was allocated with malloc
  kLiteralFromValue = 16,  // a number whose literal is the canonical text of its value
  kValueFromLiteral = 32,  // a parsed number whose value is read from its literal on demand
};

struct ScalarData {
  const char* text;  // string text or number literal; null when empty
  std::uint32_t length;
  union {
    double real;
    std::int64_t integer;  // also the 0/1 of a boolean
  };
};

struct ContainerData {
  struct Node** items;  // members in member order, or elements
  std::uint32_t count;
  std::uint32_t capacity;
  ObjectIndex* index;  // name lookup of a large object, built on demand
};

struct Node {
  std::atomic<std::uint32_t> refs;
  Kind kind;
  std::uint8_t flags;
  std::uint32_t nameLength;
  const char* name;  // member name while the node is a member of an object
  Node* parent;
  Arena* arena;
  union {
    ScalarData scalar;
    ContainerData box;
  };

  std::string_view Name() const { return {name, nameLength}; }
  std::string_view Text() const { return {scalar.text, scalar.length}; }
};

// Nodes of one parse live in an arena of chunks together with a copy of the input, which
// holds their texts. The arena goes when its last node goes.
struct Arena {
  std::atomic<std::size_t> refs;  // live nodes, plus one while the parse runs
  struct Chunk* chunks;
  char* cursor;
  char* limit;
  std::size_t nextChunkSize;

  // 8-aligned memory; throws std::bad_alloc when the system has none.
  void* Allocate(std::size_t bytes);
};

Arena* CreateArena(std::size_t sizeHint);
// Drops `count` references; the last one frees every chunk.
void ReleaseArena(Arena* arena, std::size_t count);

// A new heap node of `kind` with empty content and one reference.
Node* NewNode(Kind kind);
// The same inside an arena (which the caller credits with one reference per node).
Node* NewArenaNode(Arena* arena, Kind kind);

inline void AddRef(Node* node) {
  node->refs.fetch_add(1, std::memory_order_relaxed);
}
// Drops one reference; the last one destroys the node and releases its children, without
// recursion however deep the tree is.
void Release(Node* node);

// Empties the node in place and keeps its kind: children are released, texts freed, a
// number becomes 0, a boolean false.
void DropContent(Node* node);
// Drops the content and gives the node `kind` with empty content; name, parent and
// position in its container stay.
void Reset(Node* node, Kind kind);

void SetBool(Node* node, bool value);
void SetInteger(Node* node, std::int64_t value);
void SetReal(Node* node, double value);
// False when the text is too long to hold (4 GiB).
bool SetString(Node* node, std::string_view text);
bool SetName(Node* node, std::string_view name);
// Makes the node forget its container: no parent and no member name.
void Unlink(Node* node);

// Number readings by kind, with the conversions of the getters.
double RealValue(const Node* node);
std::int64_t IntegerValue(const Node* node, bool* outOfRange = nullptr);
// The literal text (null, true/false, a number's literal); empty for other kinds.
// `buffer` must hold kNumberBufferSize bytes; the result may point into it.
std::string_view Literal(const Node* node, char* buffer);

// Container operations. The child's reference passes to the container; false (the caller
// still owns the child) only when the container cannot grow.
bool AppendChild(Node* container, Node* child);
bool InsertChild(Node* container, std::uint32_t position, Node* child);
void RemoveChild(Node* container, std::uint32_t position);
// The old child loses the container's reference; the new one takes its place (and name).
bool ReplaceChild(Node* container, std::uint32_t position, Node* child);
// Position of the member `name`, or -1.
std::int64_t FindMember(Node* object, std::string_view name);
// Stores under `name`: replaces a member of that name in place, or appends.
bool StoreMember(Node* object, std::string_view name, Node* child);
// Removes the node from the container that lists it; it keeps the caller's references.
void Detach(Node* node);
// Forgets an object's name index after a change of member positions.
void DropIndex(Node* object);

// Deep copy with fresh literals made from the values (a literal the value cannot give back,
// an integer beyond 64 bits or an overflowing real, is kept as it is). Iterative.
Node* DeepCopy(const Node* node);

// Name lookup helpers shared with the parser, which indexes members while it builds them.
inline constexpr std::uint32_t kLinearLookupLimit = 16;
std::uint32_t HashName(std::string_view name);
ObjectIndex* BuildIndex(Node* const* items, std::uint32_t count);
// Adds items[position], growing the index as needed.
void IndexAdd(ObjectIndex*& index, Node* const* items, std::uint32_t position);
std::int64_t IndexFind(const ObjectIndex* index, Node* const* items, std::string_view name,
                       std::uint32_t hash);
void FreeIndex(ObjectIndex* index);

}  // namespace guild::json
