#include "json/json_document.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "json/json_edit.h"
#include "json/json_node.h"
#include "json/json_number.h"
#include "json/json_parser.h"
#include "json/json_path.h"
#include "json/json_text.h"
#include "json/json_writer.h"

namespace guild {

using json::Kind;
using json::Node;
using json::TextArg;

namespace {

std::string Utf8Of(std::string_view wtf8) {
  return json::HasLoneSurrogate(wtf8) ? json::Wtf8ToUtf8(wtf8) : std::string(wtf8);
}

std::u16string Utf16Of(std::string_view wtf8) {
  return json::Wtf8ToUtf16(wtf8);
}

// GetText of a node; the result may point into `buffer`.
std::string_view TextOf(const Node* node, char* buffer) {
  if (node == nullptr) return {};
  switch (node->kind) {
    case Kind::kString:
      return node->Text();
    case Kind::kReal:
    case Kind::kInteger:
    case Kind::kBoolean:
      return json::Literal(node, buffer);
    default:
      return {};
  }
}

std::string_view LiteralOf(const Node* node, char* buffer) {
  return node == nullptr ? std::string_view() : json::Literal(node, buffer);
}

bool BoolOf(const Node* node) {
  if (node == nullptr) return false;
  switch (node->kind) {
    case Kind::kReal:
      return std::fabs(json::RealValue(node)) > 1e-7;
    case Kind::kInteger:
    case Kind::kBoolean:
      return json::IntegerValue(node) != 0;
    default:
      return false;
  }
}

double RealOf(const Node* node) {
  return node == nullptr ? 0.0 : json::RealValue(node);
}

std::int64_t LongOf(const Node* node) {
  return node == nullptr ? 0 : json::IntegerValue(node);
}

std::int32_t IntOf(const Node* node) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(LongOf(node)));
}

JsonKind KindOf(const Node* node) {
  return node == nullptr ? JsonKind::kNone : static_cast<JsonKind>(node->kind);
}

std::size_t CountOfNode(const Node* node) {
  return node != nullptr && json::IsContainer(node->kind) ? node->box.count : 0;
}

std::string_view KeyOfNode(const Node* node) {
  return node != nullptr && node->parent != nullptr ? node->Name() : std::string_view();
}

void Report(JsonParseStatus* status, const json::ParseOutcome& outcome) {
  if (status == nullptr) return;
  status->code = static_cast<JsonParseCode>(outcome.code);
  status->position = outcome.position;
}

// Gives back the child a container would not take.
void Discard(Node* child) {
  json::Unlink(child);
  json::Release(child);
}

}  // namespace

// ---- Handle ---------------------------------------------------------------------------

JsonDocument::JsonDocument(Node* node) noexcept : root_(node) {
  if (root_ != nullptr) json::AddRef(root_);
}

JsonDocument JsonDocument::Adopt(Node* node) noexcept {
  JsonDocument document;
  document.root_ = node;
  return document;
}

JsonDocument::~JsonDocument() {
  if (root_ != nullptr) json::Release(root_);
}

JsonDocument::JsonDocument(const JsonDocument& other) noexcept : JsonDocument(other.root_) {}

JsonDocument& JsonDocument::operator=(const JsonDocument& other) noexcept {
  if (other.root_ != nullptr) json::AddRef(other.root_);
  if (root_ != nullptr) json::Release(root_);
  root_ = other.root_;
  return *this;
}

JsonDocument::JsonDocument(JsonDocument&& other) noexcept
    : root_(std::exchange(other.root_, nullptr)) {}

JsonDocument& JsonDocument::operator=(JsonDocument&& other) noexcept {
  if (this != &other) {
    if (root_ != nullptr) json::Release(root_);
    root_ = std::exchange(other.root_, nullptr);
  }
  return *this;
}

Node* JsonDocument::Read(std::string_view path) const {
  return json::ReadWalk(root_, path);
}

Node* JsonDocument::Create(std::string_view path) {
  return json::CreateWalk(root_, path);
}

// ---- Parsing --------------------------------------------------------------------------

bool JsonDocument::ParseImpl(std::optional<std::string_view> text, bool decodeUnicode, bool lenient,
                             JsonParseStatus* status) {
  Clear();
  root_ = json::NewNode(Kind::kObject);
  json::ParseOutcome outcome;
  if (text.has_value()) outcome = json::ParseText(root_, *text, {decodeUnicode, lenient});
  Report(status, outcome);
  return outcome.code == 0;
}

bool JsonDocument::ParseIntoImpl(std::string_view text, bool decodeUnicode, bool lenient,
                                 JsonParseStatus* status) {
  if (root_ == nullptr) root_ = json::NewNode(Kind::kObject);
  const json::ParseOutcome outcome = json::ParseText(root_, text, {decodeUnicode, lenient});
  Report(status, outcome);
  return outcome.code == 0;
}

bool JsonDocument::Parse(std::optional<std::string_view> text, bool decodeUnicode, bool lenient,
                         JsonParseStatus* status) {
  if (!text.has_value()) return ParseImpl(std::nullopt, decodeUnicode, lenient, status);
  const TextArg arg(*text);
  return ParseImpl(arg.view(), decodeUnicode, lenient, status);
}

bool JsonDocument::ParseWide(std::optional<std::u16string_view> text, bool decodeUnicode,
                             bool lenient, JsonParseStatus* status) {
  if (!text.has_value()) return ParseImpl(std::nullopt, decodeUnicode, lenient, status);
  const TextArg arg(*text);
  return ParseImpl(arg.view(), decodeUnicode, lenient, status);
}

bool JsonDocument::ParseInto(std::string_view text, bool decodeUnicode, bool lenient,
                             JsonParseStatus* status) {
  return ParseIntoImpl(TextArg(text).view(), decodeUnicode, lenient, status);
}

bool JsonDocument::ParseIntoWide(std::u16string_view text, bool decodeUnicode, bool lenient,
                                 JsonParseStatus* status) {
  return ParseIntoImpl(TextArg(text).view(), decodeUnicode, lenient, status);
}

// ---- Root and new documents -------------------------------------------------------------

void JsonDocument::Clear() {
  if (root_ != nullptr) json::Release(root_);
  root_ = nullptr;
}

JsonDocument JsonDocument::GetRootNode() const {
  return JsonDocument(root_);
}

void JsonDocument::SetRootNode(const JsonDocument& node) {
  if (node.root_ != nullptr) *this = node;
}

void JsonDocument::Detach() {
  if (root_ != nullptr) json::Detach(root_);
}

JsonDocument JsonDocument::NewObject() {
  return Adopt(json::NewNode(Kind::kObject));
}

JsonDocument JsonDocument::NewArray() {
  return Adopt(json::NewNode(Kind::kArray));
}

JsonDocument JsonDocument::NewNull() {
  return Adopt(json::NewNode(Kind::kNull));
}

JsonDocument JsonDocument::NewBool(bool value) {
  Node* node = json::NewNode(Kind::kBoolean);
  json::SetBool(node, value);
  return Adopt(node);
}

JsonDocument JsonDocument::NewString(std::string_view text) {
  Node* node = json::NewNode(Kind::kString);
  json::SetString(node, TextArg(text).view());
  return Adopt(node);
}

JsonDocument JsonDocument::NewStringWide(std::u16string_view text) {
  Node* node = json::NewNode(Kind::kString);
  json::SetString(node, TextArg(text).view());
  return Adopt(node);
}

JsonDocument JsonDocument::NewReal(double value) {
  Node* node = json::NewNode(Kind::kReal);
  json::SetReal(node, value);
  return Adopt(node);
}

JsonDocument JsonDocument::NewLong(std::int64_t value) {
  Node* node = json::NewNode(Kind::kInteger);
  json::SetInteger(node, value);
  return Adopt(node);
}

// ---- Serialisation ----------------------------------------------------------------------

std::string JsonDocument::ToText(std::string_view path, bool pretty, bool escape,
                                 std::size_t capacity) const {
  std::string text;
  const Node* node = Read(TextArg(path).view());
  if (node == nullptr) return text;
  text.reserve(capacity == 0 ? 1024 : capacity);
  json::WriteNode(node, {pretty, escape, true}, text);
  return text;
}

std::u16string JsonDocument::ToTextWide(std::u16string_view path, bool pretty, bool escape,
                                        std::size_t capacity) const {
  const Node* node = Read(TextArg(path).view());
  if (node == nullptr) return {};
  std::string text;
  text.reserve(capacity == 0 ? 1024 : capacity);
  json::WriteNode(node, {pretty, escape, false}, text);
  return Utf16Of(text);
}

// ---- Reading ------------------------------------------------------------------------------

JsonKind JsonDocument::TypeOf(std::string_view path) const {
  return KindOf(Read(TextArg(path).view()));
}

JsonKind JsonDocument::TypeOfWide(std::u16string_view path) const {
  return KindOf(Read(TextArg(path).view()));
}

std::size_t JsonDocument::CountOf(std::string_view path) const {
  return CountOfNode(Read(TextArg(path).view()));
}

std::size_t JsonDocument::CountOfWide(std::u16string_view path) const {
  return CountOfNode(Read(TextArg(path).view()));
}

bool JsonDocument::Exists(std::string_view path) const {
  const TextArg arg(path);
  return json::HasSegments(arg.view()) && Read(arg.view()) != nullptr;
}

bool JsonDocument::ExistsWide(std::u16string_view path) const {
  const TextArg arg(path);
  return json::HasSegments(arg.view()) && Read(arg.view()) != nullptr;
}

std::string JsonDocument::KeyOf(std::string_view path) const {
  return Utf8Of(KeyOfNode(Read(TextArg(path).view())));
}

std::u16string JsonDocument::KeyOfWide(std::u16string_view path) const {
  return Utf16Of(KeyOfNode(Read(TextArg(path).view())));
}

JsonDocument JsonDocument::ParentOf(std::string_view path) const {
  const Node* node = Read(TextArg(path).view());
  return JsonDocument(node == nullptr ? nullptr : node->parent);
}

JsonDocument JsonDocument::ParentOfWide(std::u16string_view path) const {
  const Node* node = Read(TextArg(path).view());
  return JsonDocument(node == nullptr ? nullptr : node->parent);
}

namespace {

Node* MemberOf(Node* node, std::string_view name) {
  if (node == nullptr || node->kind != Kind::kObject) return nullptr;
  const std::int64_t at = json::FindMember(node, name);
  return at < 0 ? nullptr : node->box.items[at];
}

Node* ElementOf(Node* node, std::int64_t index) {
  if (node == nullptr || !json::IsContainer(node->kind)) return nullptr;
  if (index < 0 || index >= node->box.count) return nullptr;
  return node->box.items[index];
}

}  // namespace

JsonDocument JsonDocument::GetMemberDocument(std::string_view path, std::string_view name) const {
  return JsonDocument(MemberOf(Read(TextArg(path).view()), TextArg(name).view()));
}

JsonDocument JsonDocument::GetMemberDocumentWide(std::u16string_view path,
                                                 std::u16string_view name) const {
  return JsonDocument(MemberOf(Read(TextArg(path).view()), TextArg(name).view()));
}

JsonDocument JsonDocument::GetElementDocument(std::string_view path, std::int64_t index) const {
  return JsonDocument(ElementOf(Read(TextArg(path).view()), index));
}

JsonDocument JsonDocument::GetElementDocumentWide(std::u16string_view path,
                                                  std::int64_t index) const {
  return JsonDocument(ElementOf(Read(TextArg(path).view()), index));
}

std::string JsonDocument::GetText(std::string_view path) const {
  char buffer[json::kNumberBufferSize];
  return Utf8Of(TextOf(Read(TextArg(path).view()), buffer));
}

std::u16string JsonDocument::GetTextWide(std::u16string_view path) const {
  char buffer[json::kNumberBufferSize];
  return Utf16Of(TextOf(Read(TextArg(path).view()), buffer));
}

std::string JsonDocument::GetLiteral(std::string_view path) const {
  char buffer[json::kNumberBufferSize];
  return std::string(LiteralOf(Read(TextArg(path).view()), buffer));
}

std::u16string JsonDocument::GetLiteralWide(std::u16string_view path) const {
  char buffer[json::kNumberBufferSize];
  return Utf16Of(LiteralOf(Read(TextArg(path).view()), buffer));
}

bool JsonDocument::GetBool(std::string_view path) const {
  return BoolOf(Read(TextArg(path).view()));
}

bool JsonDocument::GetBoolWide(std::u16string_view path) const {
  return BoolOf(Read(TextArg(path).view()));
}

double JsonDocument::GetReal(std::string_view path) const {
  return RealOf(Read(TextArg(path).view()));
}

double JsonDocument::GetRealWide(std::u16string_view path) const {
  return RealOf(Read(TextArg(path).view()));
}

std::int64_t JsonDocument::GetLong(std::string_view path) const {
  return LongOf(Read(TextArg(path).view()));
}

std::int64_t JsonDocument::GetLongWide(std::u16string_view path) const {
  return LongOf(Read(TextArg(path).view()));
}

std::int32_t JsonDocument::GetInt(std::string_view path) const {
  return IntOf(Read(TextArg(path).view()));
}

std::int32_t JsonDocument::GetIntWide(std::u16string_view path) const {
  return IntOf(Read(TextArg(path).view()));
}

std::size_t JsonDocument::GetKeys(std::string_view path, std::vector<std::string>& keys) const {
  const Node* node = Read(TextArg(path).view());
  if (node == nullptr || node->kind != Kind::kObject) return 0;
  keys.clear();
  for (std::uint32_t i = 0; i < node->box.count; ++i) {
    keys.push_back(Utf8Of(node->box.items[i]->Name()));
  }
  return keys.size();
}

std::size_t JsonDocument::GetKeysWide(std::u16string_view path,
                                      std::vector<std::u16string>& keys) const {
  const Node* node = Read(TextArg(path).view());
  if (node == nullptr || node->kind != Kind::kObject) return 0;
  keys.clear();
  for (std::uint32_t i = 0; i < node->box.count; ++i) {
    keys.push_back(Utf16Of(node->box.items[i]->Name()));
  }
  return keys.size();
}

std::size_t JsonDocument::GetChildrenImpl(std::string_view path,
                                          std::vector<JsonDocument>& children) const {
  const Node* node = Read(path);
  if (CountOfNode(node) == 0) return 0;
  children.clear();
  for (std::uint32_t i = 0; i < node->box.count; ++i) {
    children.push_back(JsonDocument(node->box.items[i]));
  }
  return children.size();
}

std::size_t JsonDocument::GetChildren(std::string_view path,
                                      std::vector<JsonDocument>& children) const {
  return GetChildrenImpl(TextArg(path).view(), children);
}

std::size_t JsonDocument::GetChildrenWide(std::u16string_view path,
                                          std::vector<JsonDocument>& children) const {
  return GetChildrenImpl(TextArg(path).view(), children);
}

// ---- Building -----------------------------------------------------------------------------

JsonDocument JsonDocument::NodeAt(std::string_view path) {
  return JsonDocument(Create(TextArg(path).view()));
}

JsonDocument JsonDocument::NodeAtWide(std::u16string_view path) {
  return JsonDocument(Create(TextArg(path).view()));
}

JsonDocument JsonDocument::CopyAt(std::string_view path) {
  const Node* node = Create(TextArg(path).view());
  return node == nullptr ? JsonDocument() : Adopt(json::DeepCopy(node));
}

JsonDocument JsonDocument::CopyAtWide(std::u16string_view path) {
  const Node* node = Create(TextArg(path).view());
  return node == nullptr ? JsonDocument() : Adopt(json::DeepCopy(node));
}

namespace {

bool MakeKind(Node* node, Kind kind) {
  if (node == nullptr) return false;
  if (node->kind != kind) json::Reset(node, kind);
  return true;
}

bool ClearNode(Node* node) {
  if (node == nullptr) return false;
  json::DropContent(node);
  return true;
}

}  // namespace

bool JsonDocument::MakeObject(std::string_view path) {
  return MakeKind(Create(TextArg(path).view()), Kind::kObject);
}

bool JsonDocument::MakeObjectWide(std::u16string_view path) {
  return MakeKind(Create(TextArg(path).view()), Kind::kObject);
}

bool JsonDocument::MakeArray(std::string_view path) {
  return MakeKind(Create(TextArg(path).view()), Kind::kArray);
}

bool JsonDocument::MakeArrayWide(std::u16string_view path) {
  return MakeKind(Create(TextArg(path).view()), Kind::kArray);
}

bool JsonDocument::ClearAt(std::string_view path) {
  return ClearNode(Create(TextArg(path).view()));
}

bool JsonDocument::ClearAtWide(std::u16string_view path) {
  return ClearNode(Create(TextArg(path).view()));
}

bool JsonDocument::SetText(std::string_view path, std::string_view text) {
  Node* node = Create(TextArg(path).view());
  return node != nullptr && json::SetString(node, TextArg(text).view());
}

bool JsonDocument::SetTextWide(std::u16string_view path, std::u16string_view text) {
  Node* node = Create(TextArg(path).view());
  return node != nullptr && json::SetString(node, TextArg(text).view());
}

namespace {

template <typename Setter>
bool SetAt(Node* node, Setter set) {
  if (node == nullptr) return false;
  set(node);
  return true;
}

}  // namespace

bool JsonDocument::SetNull(std::string_view path) {
  return SetAt(Create(TextArg(path).view()), [](Node* n) { json::Reset(n, Kind::kNull); });
}

bool JsonDocument::SetNullWide(std::u16string_view path) {
  return SetAt(Create(TextArg(path).view()), [](Node* n) { json::Reset(n, Kind::kNull); });
}

bool JsonDocument::SetBool(std::string_view path, bool value) {
  return SetAt(Create(TextArg(path).view()), [&](Node* n) { json::SetBool(n, value); });
}

bool JsonDocument::SetBoolWide(std::u16string_view path, bool value) {
  return SetAt(Create(TextArg(path).view()), [&](Node* n) { json::SetBool(n, value); });
}

bool JsonDocument::SetReal(std::string_view path, double value) {
  return SetAt(Create(TextArg(path).view()), [&](Node* n) { json::SetReal(n, value); });
}

bool JsonDocument::SetRealWide(std::u16string_view path, double value) {
  return SetAt(Create(TextArg(path).view()), [&](Node* n) { json::SetReal(n, value); });
}

bool JsonDocument::SetLong(std::string_view path, std::int64_t value) {
  return SetAt(Create(TextArg(path).view()), [&](Node* n) { json::SetInteger(n, value); });
}

bool JsonDocument::SetLongWide(std::u16string_view path, std::int64_t value) {
  return SetAt(Create(TextArg(path).view()), [&](Node* n) { json::SetInteger(n, value); });
}

bool JsonDocument::SetInt(std::string_view path, std::int32_t value) {
  return SetLong(path, value);
}

bool JsonDocument::SetIntWide(std::u16string_view path, std::int32_t value) {
  return SetLongWide(path, value);
}

// ---- Storing other documents --------------------------------------------------------------

bool JsonDocument::StoreMemberImpl(std::string_view path, std::string_view name,
                                   const JsonDocument& doc, std::optional<std::int64_t> position) {
  if (root_ == nullptr || doc.root_ == nullptr) return false;
  // Copied before the walk, which may change the tree `doc` belongs to.
  Node* copy = json::DeepCopy(doc.root_);
  Node* target = Create(path);
  if (target == nullptr) {
    json::Release(copy);
    return false;
  }
  const std::int64_t present = target->kind == Kind::kObject ? json::FindMember(target, name) : -1;
  if (position.has_value() && present < 0) {
    const std::int64_t count = target->kind == Kind::kObject ? target->box.count : 0;
    if (*position < 0 || *position > count) {
      json::Release(copy);
      return false;
    }
    if (target->kind != Kind::kObject) json::Reset(target, Kind::kObject);
    if (json::SetName(copy, name) &&
        json::InsertChild(target, static_cast<std::uint32_t>(*position), copy)) {
      return true;
    }
    Discard(copy);
    return false;
  }
  if (target->kind != Kind::kObject) json::Reset(target, Kind::kObject);
  if (json::StoreMember(target, name, copy)) return true;
  Discard(copy);
  return false;
}

bool JsonDocument::SetMemberDocument(std::string_view path, std::string_view name,
                                     const JsonDocument& doc) {
  return StoreMemberImpl(TextArg(path).view(), TextArg(name).view(), doc, std::nullopt);
}

bool JsonDocument::SetMemberDocumentWide(std::u16string_view path, std::u16string_view name,
                                         const JsonDocument& doc) {
  return StoreMemberImpl(TextArg(path).view(), TextArg(name).view(), doc, std::nullopt);
}

bool JsonDocument::InsertMemberDocument(std::string_view path, std::int64_t position,
                                        std::string_view name, const JsonDocument& doc) {
  return StoreMemberImpl(TextArg(path).view(), TextArg(name).view(), doc, position);
}

bool JsonDocument::InsertMemberDocumentWide(std::u16string_view path, std::int64_t position,
                                            std::u16string_view name, const JsonDocument& doc) {
  return StoreMemberImpl(TextArg(path).view(), TextArg(name).view(), doc, position);
}

bool JsonDocument::InsertImpl(std::string_view path, std::int64_t index, const JsonDocument& doc) {
  if (root_ == nullptr || doc.root_ == nullptr) return false;
  Node* copy = json::DeepCopy(doc.root_);
  Node* target = Create(path);
  if (target == nullptr) {
    json::Release(copy);
    return false;
  }
  const std::int64_t count = target->kind == Kind::kArray ? target->box.count : 0;
  if (index < 0 || index > count) {
    json::Release(copy);
    return false;
  }
  if (target->kind != Kind::kArray) json::Reset(target, Kind::kArray);
  if (json::InsertChild(target, static_cast<std::uint32_t>(index), copy)) return true;
  json::Release(copy);
  return false;
}

bool JsonDocument::AppendDocument(std::string_view path, const JsonDocument& doc) {
  const TextArg arg(path);
  const Node* target = Read(arg.view());
  const std::int64_t count =
      target != nullptr && target->kind == Kind::kArray ? target->box.count : 0;
  return InsertImpl(arg.view(), count, doc);
}

bool JsonDocument::AppendDocumentWide(std::u16string_view path, const JsonDocument& doc) {
  const TextArg arg(path);
  const Node* target = Read(arg.view());
  const std::int64_t count =
      target != nullptr && target->kind == Kind::kArray ? target->box.count : 0;
  return InsertImpl(arg.view(), count, doc);
}

bool JsonDocument::InsertDocument(std::string_view path, std::int64_t index,
                                  const JsonDocument& doc) {
  return InsertImpl(TextArg(path).view(), index, doc);
}

bool JsonDocument::InsertDocumentWide(std::u16string_view path, std::int64_t index,
                                      const JsonDocument& doc) {
  return InsertImpl(TextArg(path).view(), index, doc);
}

bool JsonDocument::SetElementImpl(std::string_view path, std::int64_t index,
                                  const JsonDocument& doc) {
  if (root_ == nullptr || doc.root_ == nullptr || index < 0) return false;
  Node* copy = json::DeepCopy(doc.root_);
  Node* target = Create(path);
  if (target == nullptr) {
    json::Release(copy);
    return false;
  }
  if (target->kind != Kind::kArray) json::Reset(target, Kind::kArray);
  if (index < target->box.count) {
    json::ReplaceChild(target, static_cast<std::uint32_t>(index), copy);
    return true;
  }
  if ((index == 0 || json::PadArray(target, index - 1)) && json::AppendChild(target, copy)) {
    return true;
  }
  json::Release(copy);
  return false;
}

bool JsonDocument::SetElementDocument(std::string_view path, std::int64_t index,
                                      const JsonDocument& doc) {
  return SetElementImpl(TextArg(path).view(), index, doc);
}

bool JsonDocument::SetElementDocumentWide(std::u16string_view path, std::int64_t index,
                                          const JsonDocument& doc) {
  return SetElementImpl(TextArg(path).view(), index, doc);
}

namespace {

// A deep copy of a container's children, taken out of the copy; their references pass to
// the caller.
std::vector<Node*> CopiedChildren(const Node* container) {
  Node* copy = json::DeepCopy(container);
  std::vector<Node*> children(copy->box.items, copy->box.items + copy->box.count);
  copy->box.count = 0;
  json::DropIndex(copy);
  json::Release(copy);
  return children;
}

}  // namespace

bool JsonDocument::MergeObject(std::string_view path, const JsonDocument& doc) {
  if (root_ == nullptr || doc.root_ == nullptr || doc.root_->kind != Kind::kObject) return false;
  // Copied before the walk, which may change the tree `doc` belongs to.
  std::vector<Node*> members = CopiedChildren(doc.root_);
  Node* target = Create(TextArg(path).view());
  bool stored = target != nullptr;
  if (stored && target->kind != Kind::kObject) json::Reset(target, Kind::kObject);
  for (Node* member : members) {
    if (stored) stored = json::StoreMember(target, member->Name(), member);
    if (!stored) Discard(member);
  }
  return stored;
}

bool JsonDocument::AppendAll(std::string_view path, const JsonDocument& doc) {
  if (root_ == nullptr || doc.root_ == nullptr || doc.root_->kind != Kind::kArray) return false;
  std::vector<Node*> elements = CopiedChildren(doc.root_);
  Node* target = Create(TextArg(path).view());
  bool stored = target != nullptr;
  if (stored && target->kind != Kind::kArray) json::Reset(target, Kind::kArray);
  for (Node* element : elements) {
    if (stored) stored = json::AppendChild(target, element);
    if (!stored) Discard(element);
  }
  return stored;
}

// ---- Removal, merging, sorting --------------------------------------------------------------

namespace {

bool RemoveMemberOf(Node* node, std::string_view name) {
  if (node == nullptr || node->kind != Kind::kObject) return false;
  const std::int64_t at = json::FindMember(node, name);
  if (at < 0) return false;
  json::RemoveChild(node, static_cast<std::uint32_t>(at));
  return true;
}

bool RemoveElementOf(Node* node, std::int64_t index) {
  if (node == nullptr || node->kind != Kind::kArray) return false;
  if (index < 0 || index >= node->box.count) return false;
  json::RemoveChild(node, static_cast<std::uint32_t>(index));
  return true;
}

}  // namespace

bool JsonDocument::RemoveMember(std::string_view path, std::string_view name) {
  return RemoveMemberOf(Create(TextArg(path).view()), TextArg(name).view());
}

bool JsonDocument::RemoveMemberWide(std::u16string_view path, std::u16string_view name) {
  return RemoveMemberOf(Create(TextArg(path).view()), TextArg(name).view());
}

bool JsonDocument::RemoveElement(std::string_view path, std::int64_t index) {
  return RemoveElementOf(Create(TextArg(path).view()), index);
}

bool JsonDocument::RemoveElementWide(std::u16string_view path, std::int64_t index) {
  return RemoveElementOf(Create(TextArg(path).view()), index);
}

bool JsonDocument::MergeTextImpl(std::string_view path, std::string_view text, bool decodeUnicode,
                                 bool addMissing) {
  Node* target = Create(path);
  if (target == nullptr) return false;
  Node* parsed = json::NewNode(Kind::kObject);
  if (json::ParseText(parsed, text, {decodeUnicode, false}).code != 0) {
    json::Release(parsed);
    return false;
  }
  return json::MergeInto(target, parsed, addMissing);
}

bool JsonDocument::MergeText(std::string_view path, std::string_view text, bool decodeUnicode,
                             bool addMissing) {
  return MergeTextImpl(TextArg(path).view(), TextArg(text).view(), decodeUnicode, addMissing);
}

bool JsonDocument::MergeTextWide(std::u16string_view path, std::u16string_view text,
                                 bool decodeUnicode, bool addMissing) {
  return MergeTextImpl(TextArg(path).view(), TextArg(text).view(), decodeUnicode, addMissing);
}

bool JsonDocument::SortMembers(std::string_view path, bool descending, bool ignoreCase) {
  return json::SortMembersByName(Read(TextArg(path).view()), descending, ignoreCase);
}

bool JsonDocument::SortMembersWide(std::u16string_view path, bool descending, bool ignoreCase) {
  return json::SortMembersByName(Read(TextArg(path).view()), descending, ignoreCase);
}

void JsonDocument::SortWithImpl(std::string_view path, const Comparator& compare) {
  Node* node = Read(path);
  if (node == nullptr || !json::IsContainer(node->kind) || !compare) return;
  // The comparator sees sharing handles, so the entries are sorted apart from the tree and
  // held meanwhile; the order is written back only if the container kept the same entries.
  std::vector<Node*> entries(node->box.items, node->box.items + node->box.count);
  JsonDocument holder(node);
  for (Node* entry : entries) json::AddRef(entry);
  json::QuickSort(entries.data(), static_cast<std::uint32_t>(entries.size()),
                  [&](Node* a, Node* b) { return compare(JsonDocument(a), JsonDocument(b)); });
  if (json::IsContainer(node->kind) && node->box.count == entries.size()) {
    std::vector<Node*> before(node->box.items, node->box.items + node->box.count);
    std::vector<Node*> after = entries;
    std::sort(before.begin(), before.end());
    std::sort(after.begin(), after.end());
    if (before == after) {
      std::copy(entries.begin(), entries.end(), node->box.items);
      if (node->kind == Kind::kObject) json::DropIndex(node);
    }
  }
  for (Node* entry : entries) json::Release(entry);
}

void JsonDocument::SortWith(std::string_view path, const Comparator& compare) {
  SortWithImpl(TextArg(path).view(), compare);
}

void JsonDocument::SortWithWide(std::u16string_view path, const Comparator& compare) {
  SortWithImpl(TextArg(path).view(), compare);
}

}  // namespace guild
