#include "json/json_node.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

#include "json/json_number.h"

namespace guild::json {

struct Chunk {
  Chunk* next;
};

struct ObjectIndex {
  struct Entry {
    std::uint32_t hash;
    std::uint32_t position;  // position + 1; 0 marks a free entry
  };
  std::vector<Entry> entries;
  std::uint32_t used = 0;
};

namespace {

constexpr std::size_t kChunkHeader = (sizeof(Chunk) + 7) & ~std::size_t{7};
constexpr std::size_t kMaxChunk = std::size_t{16} << 20;
constexpr std::uint32_t kMaxCount = std::numeric_limits<std::uint32_t>::max();

// Dying nodes of arenas are counted and each arena is released once per run of them.
class ArenaBatch {
 public:
  ~ArenaBatch() { Flush(); }
  void Add(Arena* arena) {
    if (arena != arena_) {
      Flush();
      arena_ = arena;
    }
    ++count_;
  }
  void Flush() {
    if (arena_ != nullptr) ReleaseArena(arena_, count_);
    arena_ = nullptr;
    count_ = 0;
  }

 private:
  Arena* arena_ = nullptr;
  std::size_t count_ = 0;
};

// True when the caller's reference was the last one. A count of 1 is ours alone, so no other
// thread can change it and the atomic write is skipped.
bool DropsLastRef(Node* node) {
  if (node->refs.load(std::memory_order_acquire) == 1) return true;
  return node->refs.fetch_sub(1, std::memory_order_acq_rel) == 1;
}

// Drops a container's reference on a child. A child that dies is pushed on `dying` (linked
// through `parent`); one that lives on is unlinked first, while it is surely alive.
void DropChild(Node* child, Node*& dying) {
  if (child->refs.load(std::memory_order_acquire) != 1) {
    Unlink(child);
    if (child->refs.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
  }
  child->parent = dying;
  dying = child;
}

void FreeOwned(Node* node) {
  if (node->flags & kNameOwned) delete[] node->name;
  if (IsContainer(node->kind)) {
    FreeIndex(node->box.index);
    if (node->flags & kItemsOwned) std::free(node->box.items);
  } else if (node->flags & kTextOwned) {
    delete[] node->scalar.text;
  }
}

void Destroy(Node* dying) {
  ArenaBatch batch;
  while (dying != nullptr) {
    Node* node = dying;
    dying = node->parent;
    if (IsContainer(node->kind)) {
      for (std::uint32_t i = 0; i < node->box.count; ++i) DropChild(node->box.items[i], dying);
    }
    FreeOwned(node);
    if (node->flags & kInArena) {
      batch.Add(node->arena);
    } else {
      delete node;
    }
  }
}

void ReleaseItems(Node* const* items, std::uint32_t count) {
  Node* dying = nullptr;
  for (std::uint32_t i = 0; i < count; ++i) DropChild(items[i], dying);
  Destroy(dying);
}

void InitContent(Node* node) {
  if (IsContainer(node->kind)) {
    node->box = ContainerData{nullptr, 0, 0, nullptr};
  } else {
    node->scalar.text = nullptr;
    node->scalar.length = 0;
    node->scalar.integer = 0;
    if (IsNumber(node->kind)) node->flags |= kLiteralFromValue;
  }
}

char* CopyText(std::string_view text) {
  char* copy = new char[text.size()];
  std::memcpy(copy, text.data(), text.size());
  return copy;
}

bool Reserve(Node* container, std::uint32_t needed) {
  ContainerData& box = container->box;
  if (needed <= box.capacity) return true;
  std::uint64_t grown = std::max<std::uint64_t>({needed, std::uint64_t{box.capacity} * 2 + 1, 8});
  grown = std::min<std::uint64_t>(grown, kMaxCount);
  const std::size_t bytes = static_cast<std::size_t>(grown) * sizeof(Node*);
  Node** items;
  if (container->flags & kItemsOwned) {
    items = static_cast<Node**>(std::realloc(box.items, bytes));
    if (items == nullptr) return false;
  } else {
    // Arena item arrays are never freed on their own; they are copied out to grow.
    items = static_cast<Node**>(std::malloc(bytes));
    if (items == nullptr) return false;
    if (box.count > 0) std::memcpy(items, box.items, box.count * sizeof(Node*));
    container->flags |= kItemsOwned;
  }
  box.items = items;
  box.capacity = static_cast<std::uint32_t>(grown);
  return true;
}

bool NameEquals(const Node* node, std::string_view name) {
  // Length and first byte settle most mismatches without a call.
  return node->nameLength == name.size() &&
         (name.empty() ||
          (node->name[0] == name[0] && std::memcmp(node->name, name.data(), name.size()) == 0));
}

void RebuildEntries(ObjectIndex* index, Node* const* items, std::uint32_t count) {
  std::size_t size = 32;
  while (size < std::size_t{count} * 2 + 2) size *= 2;
  index->entries.assign(size, ObjectIndex::Entry{0, 0});
  index->used = 0;
  const std::size_t mask = size - 1;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint32_t hash = HashName(items[i]->Name());
    std::size_t at = hash & mask;
    while (index->entries[at].position != 0) at = (at + 1) & mask;
    index->entries[at] = ObjectIndex::Entry{hash, i + 1};
    ++index->used;
  }
}

}  // namespace

void* Arena::Allocate(std::size_t bytes) {
  bytes = (bytes + 7) & ~std::size_t{7};
  if (static_cast<std::size_t>(limit - cursor) < bytes) {
    const std::size_t size = std::max(nextChunkSize, bytes + kChunkHeader);
    auto* chunk = static_cast<Chunk*>(std::malloc(size));
    if (chunk == nullptr) throw std::bad_alloc();
    chunk->next = chunks;
    chunks = chunk;
    cursor = reinterpret_cast<char*>(chunk) + kChunkHeader;
    limit = reinterpret_cast<char*>(chunk) + size;
    nextChunkSize = std::min(nextChunkSize * 2, kMaxChunk);
  }
  void* result = cursor;
  cursor += bytes;
  return result;
}

Arena* CreateArena(std::size_t sizeHint) {
  auto* arena = new Arena;
  arena->refs.store(1, std::memory_order_relaxed);
  arena->chunks = nullptr;
  arena->cursor = nullptr;
  arena->limit = nullptr;
  arena->nextChunkSize = std::clamp<std::size_t>(sizeHint, 4096, kMaxChunk);
  return arena;
}

void ReleaseArena(Arena* arena, std::size_t count) {
  if (count == 0) return;
  if (arena->refs.load(std::memory_order_acquire) != count &&
      arena->refs.fetch_sub(count, std::memory_order_acq_rel) != count) {
    return;
  }
  for (Chunk* chunk = arena->chunks; chunk != nullptr;) {
    Chunk* next = chunk->next;
    std::free(chunk);
    chunk = next;
  }
  delete arena;
}

Node* NewNode(Kind kind) {
  Node* node = new Node;
  node->refs.store(1, std::memory_order_relaxed);
  node->kind = kind;
  node->flags = 0;
  node->nameLength = 0;
  node->name = nullptr;
  node->parent = nullptr;
  node->arena = nullptr;
  InitContent(node);
  return node;
}

Node* NewArenaNode(Arena* arena, Kind kind) {
  Node* node = new (arena->Allocate(sizeof(Node))) Node;
  node->refs.store(1, std::memory_order_relaxed);
  node->kind = kind;
  node->flags = kInArena;
  node->nameLength = 0;
  node->name = nullptr;
  node->parent = nullptr;
  node->arena = arena;
  InitContent(node);
  return node;
}

void Release(Node* node) {
  if (!DropsLastRef(node)) return;
  node->parent = nullptr;
  Destroy(node);
}

void DropContent(Node* node) {
  if (IsContainer(node->kind)) {
    ContainerData& box = node->box;
    const std::uint32_t count = box.count;
    box.count = 0;
    DropIndex(node);
    ReleaseItems(box.items, count);
    if (!(node->flags & kItemsOwned)) {
      box.items = nullptr;
      box.capacity = 0;
    }
    return;
  }
  if (node->flags & kTextOwned) delete[] node->scalar.text;
  node->flags &= static_cast<std::uint8_t>(~(kTextOwned | kValueFromLiteral | kLiteralFromValue));
  InitContent(node);
}

void Reset(Node* node, Kind kind) {
  DropContent(node);
  if (node->kind == kind) return;
  if (IsContainer(node->kind) && (node->flags & kItemsOwned)) std::free(node->box.items);
  node->flags &= static_cast<std::uint8_t>(kInArena | kNameOwned);
  node->kind = kind;
  InitContent(node);
}

void SetBool(Node* node, bool value) {
  Reset(node, Kind::kBoolean);
  node->scalar.integer = value ? 1 : 0;
}

void SetInteger(Node* node, std::int64_t value) {
  Reset(node, Kind::kInteger);
  node->scalar.integer = value;
}

void SetReal(Node* node, double value) {
  Reset(node, Kind::kReal);
  node->scalar.real = value;
}

bool SetString(Node* node, std::string_view text) {
  if (text.size() >= kMaxCount) return false;
  Reset(node, Kind::kString);
  if (!text.empty()) {
    node->scalar.text = CopyText(text);
    node->scalar.length = static_cast<std::uint32_t>(text.size());
    node->flags |= kTextOwned;
  }
  return true;
}

bool SetName(Node* node, std::string_view name) {
  if (name.size() >= kMaxCount) return false;
  const char* copy = name.empty() ? nullptr : CopyText(name);
  if (node->flags & kNameOwned) delete[] node->name;
  node->name = copy;
  node->nameLength = static_cast<std::uint32_t>(name.size());
  if (copy != nullptr) {
    node->flags |= kNameOwned;
  } else {
    node->flags &= static_cast<std::uint8_t>(~kNameOwned);
  }
  return true;
}

void Unlink(Node* node) {
  node->parent = nullptr;
  if (node->flags & kNameOwned) delete[] node->name;
  node->flags &= static_cast<std::uint8_t>(~kNameOwned);
  node->name = nullptr;
  node->nameLength = 0;
}

double RealValue(const Node* node) {
  switch (node->kind) {
    case Kind::kReal:
      return (node->flags & kValueFromLiteral) ? ReadReal(node->Text()) : node->scalar.real;
    case Kind::kInteger:
      // Read from the literal, which may hold more than 64 bits.
      if (node->flags & kValueFromLiteral) return ReadReal(node->Text());
      return static_cast<double>(node->scalar.integer);
    case Kind::kBoolean:
      return node->scalar.integer != 0 ? 1.0 : 0.0;
    case Kind::kString:
      return ReadReal(node->Text());
    default:
      return 0.0;
  }
}

std::int64_t IntegerValue(const Node* node, bool* outOfRange) {
  if (outOfRange != nullptr) *outOfRange = false;
  switch (node->kind) {
    case Kind::kReal:
      return TruncateReal(RealValue(node));
    case Kind::kInteger:
      if (node->flags & kValueFromLiteral) return ReadInteger(node->Text(), outOfRange);
      return node->scalar.integer;
    case Kind::kBoolean:
      return node->scalar.integer != 0 ? 1 : 0;
    case Kind::kString:
      return ReadInteger(node->Text());
    default:
      return 0;
  }
}

std::string_view Literal(const Node* node, char* buffer) {
  switch (node->kind) {
    case Kind::kNull:
      return "null";
    case Kind::kBoolean:
      return node->scalar.integer != 0 ? "true" : "false";
    case Kind::kReal:
      if (node->flags & kLiteralFromValue) return {buffer, FormatReal(node->scalar.real, buffer)};
      return node->Text();
    case Kind::kInteger:
      if (node->flags & kLiteralFromValue) {
        return {buffer, FormatInteger(node->scalar.integer, buffer)};
      }
      return node->Text();
    default:
      return {};
  }
}

bool AppendChild(Node* container, Node* child) {
  ContainerData& box = container->box;
  if (box.count == kMaxCount || !Reserve(container, box.count + 1)) return false;
  box.items[box.count] = child;
  child->parent = container;
  ++box.count;
  if (box.index != nullptr) IndexAdd(box.index, box.items, box.count - 1);
  return true;
}

bool InsertChild(Node* container, std::uint32_t position, Node* child) {
  ContainerData& box = container->box;
  if (position > box.count) return false;
  if (box.count == kMaxCount || !Reserve(container, box.count + 1)) return false;
  std::memmove(box.items + position + 1, box.items + position,
               (box.count - position) * sizeof(Node*));
  box.items[position] = child;
  child->parent = container;
  ++box.count;
  DropIndex(container);
  return true;
}

void RemoveChild(Node* container, std::uint32_t position) {
  ContainerData& box = container->box;
  Node* child = box.items[position];
  std::memmove(box.items + position, box.items + position + 1,
               (box.count - position - 1) * sizeof(Node*));
  --box.count;
  DropIndex(container);
  Unlink(child);
  Release(child);
}

bool ReplaceChild(Node* container, std::uint32_t position, Node* child) {
  Node* old = container->box.items[position];
  if (container->kind == Kind::kObject && !SetName(child, old->Name())) return false;
  container->box.items[position] = child;
  child->parent = container;
  Unlink(old);
  Release(old);
  return true;
}

std::int64_t FindMember(Node* object, std::string_view name) {
  ContainerData& box = object->box;
  if (box.count <= kLinearLookupLimit) {
    for (std::uint32_t i = 0; i < box.count; ++i) {
      if (NameEquals(box.items[i], name)) return i;
    }
    return -1;
  }
  if (box.index == nullptr) box.index = BuildIndex(box.items, box.count);
  return IndexFind(box.index, box.items, name, HashName(name));
}

bool StoreMember(Node* object, std::string_view name, Node* child) {
  const std::int64_t at = FindMember(object, name);
  if (at >= 0) return ReplaceChild(object, static_cast<std::uint32_t>(at), child);
  if (!SetName(child, name)) return false;
  if (AppendChild(object, child)) return true;
  Unlink(child);
  return false;
}

void Detach(Node* node) {
  Node* container = node->parent;
  if (container == nullptr) return;
  ContainerData& box = container->box;
  for (std::uint32_t i = 0; i < box.count; ++i) {
    if (box.items[i] == node) {
      // The caller holds a reference too, so the node outlives the container's.
      RemoveChild(container, i);
      return;
    }
  }
  Unlink(node);
}

void DropIndex(Node* object) {
  FreeIndex(object->box.index);
  object->box.index = nullptr;
}

namespace {

Node* CopyScalar(const Node* source) {
  Node* copy = NewNode(source->kind);
  switch (source->kind) {
    case Kind::kBoolean:
      copy->scalar.integer = source->scalar.integer != 0 ? 1 : 0;
      break;
    case Kind::kString:
      if (source->scalar.length > 0) {
        copy->scalar.text = CopyText(source->Text());
        copy->scalar.length = source->scalar.length;
        copy->flags |= kTextOwned;
      }
      break;
    case Kind::kInteger: {
      bool outOfRange = false;
      const std::int64_t value = IntegerValue(source, &outOfRange);
      if (!outOfRange) {
        copy->scalar.integer = value;
        break;
      }
      // A fresh literal would change the number; keep it as written.
      copy->flags = kTextOwned | kValueFromLiteral;
      copy->scalar.text = CopyText(source->Text());
      copy->scalar.length = source->scalar.length;
      break;
    }
    case Kind::kReal: {
      const double value = RealValue(source);
      if (!std::isfinite(value) && !(source->flags & kLiteralFromValue)) {
        copy->flags = kTextOwned | kValueFromLiteral;
        copy->scalar.text = CopyText(source->Text());
        copy->scalar.length = source->scalar.length;
        break;
      }
      copy->scalar.real = value;
      break;
    }
    default:
      break;
  }
  return copy;
}

}  // namespace

Node* DeepCopy(const Node* source) {
  Node* root = CopyScalar(source);
  if (!IsContainer(source->kind)) return root;
  struct Frame {
    const Node* source;
    Node* copy;
    std::uint32_t next;
  };
  std::vector<Frame> stack;
  stack.push_back({source, root, 0});
  while (!stack.empty()) {
    Frame& frame = stack.back();
    const ContainerData& box = frame.source->box;
    if (frame.next == box.count) {
      stack.pop_back();
      continue;
    }
    if (frame.next == 0) Reserve(frame.copy, box.count);
    const Node* child = box.items[frame.next++];
    Node* copy = CopyScalar(child);
    Node* container = frame.copy;
    if (container->kind == Kind::kObject) SetName(copy, child->Name());
    if (!AppendChild(container, copy)) {
      Release(copy);
      continue;
    }
    if (IsContainer(child->kind) && child->box.count > 0) stack.push_back({child, copy, 0});
  }
  return root;
}

std::uint32_t HashName(std::string_view name) {
  std::uint32_t hash = 2166136261u;
  for (const char c : name) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 16777619u;
  }
  return hash;
}

ObjectIndex* BuildIndex(Node* const* items, std::uint32_t count) {
  auto* index = new ObjectIndex;
  RebuildEntries(index, items, count);
  return index;
}

void IndexAdd(ObjectIndex*& index, Node* const* items, std::uint32_t position) {
  if ((std::size_t{index->used} + 1) * 2 > index->entries.size()) {
    RebuildEntries(index, items, position + 1);
    return;
  }
  const std::uint32_t hash = HashName(items[position]->Name());
  const std::size_t mask = index->entries.size() - 1;
  std::size_t at = hash & mask;
  while (index->entries[at].position != 0) at = (at + 1) & mask;
  index->entries[at] = ObjectIndex::Entry{hash, position + 1};
  ++index->used;
}

std::int64_t IndexFind(const ObjectIndex* index, Node* const* items, std::string_view name,
                       std::uint32_t hash) {
  const std::size_t mask = index->entries.size() - 1;
  for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
    const ObjectIndex::Entry& entry = index->entries[at];
    if (entry.position == 0) return -1;
    if (entry.hash == hash && NameEquals(items[entry.position - 1], name))
      return entry.position - 1;
  }
}

void FreeIndex(ObjectIndex* index) {
  delete index;
}

}  // namespace guild::json
