#pragma once
// JsonDocument: a handle to a tree of reference-counted JSON nodes, read and built through
// path texts such as `d.author.id` or `data[0].msg`.
//
// Handles: copying a JsonDocument shares its root, never copies the tree. A document
// returned for a node inside a tree (member, element, parent, node at a path, children)
// shares that node, so changes through it change the tree. Every method that stores another
// document stores a deep copy of that document's root, so a document may be stored into
// itself. A new JsonDocument has no root: reads find nothing and stores fail until Parse.
//
// Text: plain methods take and return UTF-8 (an invalid sequence reads as U+FFFD), `Wide`
// methods UTF-16. Member names compare exactly, code unit by code unit.
//
// Paths: '.' separates member names, `[n]` addresses element n of an array (a read also
// takes it as the n-th member of an object). Empty name segments are skipped, a path with no
// segments addresses the root. A backslash before '.', '[', ']' or a backslash puts that
// character into the name. Reading methods follow the path and change nothing; creating
// methods (marked "create") make what is missing: a name turns a non-object into an object
// and adds a null member, an index turns a non-array into an array padded with nulls. A
// failed create leaves what the walk made.
//
// Members keep the order in which their names were first added; storing under a present
// name replaces the value in its place.
//
// Failures are values: empty texts, 0, false, a document without a root; nothing throws.
// Threads: one thread at a time per tree; handles may be dropped from any thread.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace guild {

namespace json {
struct Node;
}

// Kind of the node at a path; the numbers are part of the interface.
enum class JsonKind : int {
  kNone = -1,  // no node there
  kNull = 0,
  kReal = 1,
  kInteger = 2,
  kBoolean = 3,
  kString = 4,
  kArray = 5,
  kObject = 6,
};

enum class JsonParseCode : int {
  kOk = 0,
  kNoInput = -2,    // kept for the code table; a std::string input is never "no input"
  kNoMemory = -3,   // a node or stack entry could not be made (at the offending character)
  kStructure = -4,  // a container or ':' where it cannot stand, text after a closed name
                    // (at the offending character)
  kUnclosed = -5,   // the text ended inside a container (at text length + 1)
  kBadToken = -6,   // not null, true, false, a number or one closed string; a member with
                    // no value; text after the root without `lenient` (at the token start,
                    // 0 for text outside any container)
};

struct JsonParseStatus {
  JsonParseCode code = JsonParseCode::kOk;
  std::size_t position = 0;  // UTF-16 code units into the text; 0 after success
};

class JsonDocument {
 public:
  // Orders two children: negative puts `first` before `second`. It must not change the tree.
  using Comparator = std::function<int(const JsonDocument& first, const JsonDocument& second)>;

  JsonDocument() noexcept = default;
  ~JsonDocument();
  JsonDocument(const JsonDocument& other) noexcept;
  JsonDocument& operator=(const JsonDocument& other) noexcept;
  JsonDocument(JsonDocument&& other) noexcept;
  JsonDocument& operator=(JsonDocument&& other) noexcept;

  // ---- Parsing --------------------------------------------------------------------------
  // The parser is lenient: single-quoted strings, unquoted member names, trailing commas,
  // empty array elements, no comma after a nested container, several roots in one text (a
  // second object adds its members to the root object). Numbers keep their text as written.
  // `decodeUnicode`: \uXXXX becomes the code unit; otherwise it stays as six characters.
  // `lenient`: characters outside the outermost container are ignored; otherwise a text
  // with such a character is read as one value (a number, true, false, null or a string).
  // A \n escape between characters is read as CR LF (a \r\n stays as it is).
  // On failure nothing of the text stays: the root is left empty.

  // Gives the document a fresh empty object root and parses `text` into it; without text
  // nothing is parsed. True when the code is kOk.
  bool Parse(std::optional<std::string_view> text = std::nullopt, bool decodeUnicode = false,
             bool lenient = false, JsonParseStatus* status = nullptr);
  bool ParseWide(std::optional<std::u16string_view> text = std::nullopt, bool decodeUnicode = false,
                 bool lenient = false, JsonParseStatus* status = nullptr);
  // Empties the existing root in place and refills it (an empty object root is made first
  // when there is none), so documents sharing the root see the new content.
  bool ParseInto(std::string_view text, bool decodeUnicode = false, bool lenient = false,
                 JsonParseStatus* status = nullptr);
  bool ParseIntoWide(std::u16string_view text, bool decodeUnicode = false, bool lenient = false,
                     JsonParseStatus* status = nullptr);

  // ---- Root and new documents -----------------------------------------------------------
  // Drops the root; the document has none afterwards.
  void Clear();
  // A second handle to the root.
  JsonDocument GetRootNode() const;
  // Makes `node`'s root this document's root (shared); nothing changes when it has none.
  void SetRootNode(const JsonDocument& node);
  // Removes the root from the container that lists it: it keeps being this root, with no
  // parent and no member name.
  void Detach();

  static JsonDocument NewObject();
  static JsonDocument NewArray();
  static JsonDocument NewNull();
  static JsonDocument NewBool(bool value);
  static JsonDocument NewString(std::string_view text);
  static JsonDocument NewStringWide(std::u16string_view text);
  // A real's literal is the shortest text that reads back as the value, with ".0" added
  // when it would read as an integer; an infinity or NaN is written as null.
  static JsonDocument NewReal(double value);
  static JsonDocument NewLong(std::int64_t value);

  // ---- Serialisation --------------------------------------------------------------------
  // The node at `path` (read) as JSON text; empty when nothing is there. Compact: no blanks;
  // numbers from their literals; strings escape " \ / BS TAB LF FF CR and write every other
  // character as itself (never \u). `pretty` breaks objects over lines (CR LF, TABs);
  // `escape` false writes strings raw. `capacity` only sizes the first buffer.
  std::string ToText(std::string_view path = {}, bool pretty = false, bool escape = true,
                     std::size_t capacity = 1024) const;
  std::u16string ToTextWide(std::u16string_view path = {}, bool pretty = false, bool escape = true,
                            std::size_t capacity = 1024) const;

  // ---- Reading (read walk; nothing is created) ------------------------------------------
  JsonKind TypeOf(std::string_view path = {}) const;
  JsonKind TypeOfWide(std::u16string_view path = {}) const;
  // Members of an object, elements of an array, else 0.
  std::size_t CountOf(std::string_view path = {}) const;
  std::size_t CountOfWide(std::u16string_view path = {}) const;
  // True when every segment resolves; a path with no segments is false.
  bool Exists(std::string_view path) const;
  bool ExistsWide(std::u16string_view path) const;
  // The member name the node is stored under; empty for elements, a root and nothing.
  std::string KeyOf(std::string_view path = {}) const;
  std::u16string KeyOfWide(std::u16string_view path = {}) const;
  // The container holding the node; no root for a root or nothing.
  JsonDocument ParentOf(std::string_view path = {}) const;
  JsonDocument ParentOfWide(std::u16string_view path = {}) const;
  JsonDocument GetMemberDocument(std::string_view path, std::string_view name) const;
  JsonDocument GetMemberDocumentWide(std::u16string_view path, std::u16string_view name) const;
  // Element `index` of an array, or the index-th member of an object.
  JsonDocument GetElementDocument(std::string_view path, std::int64_t index) const;
  JsonDocument GetElementDocumentWide(std::u16string_view path, std::int64_t index) const;

  // Getters by kind of the value:
  //   GetText: a number's literal, "true"/"false", a string's text; else empty.
  //   GetLiteral: "null", "true"/"false", a number's literal; else empty.
  //   GetBool: a real above 1e-7 in size, an integer not 0, a boolean; else false.
  //   GetReal/GetLong/GetInt: a number's value (reals truncated toward zero for the integer
  //   forms, GetInt keeping the low 32 bits), 0/1 for a boolean, the leading decimal number
  //   of a string (blanks before it allowed); else 0.
  std::string GetText(std::string_view path = {}) const;
  std::u16string GetTextWide(std::u16string_view path = {}) const;
  std::string GetLiteral(std::string_view path = {}) const;
  std::u16string GetLiteralWide(std::u16string_view path = {}) const;
  bool GetBool(std::string_view path = {}) const;
  bool GetBoolWide(std::u16string_view path = {}) const;
  double GetReal(std::string_view path = {}) const;
  double GetRealWide(std::u16string_view path = {}) const;
  std::int64_t GetLong(std::string_view path = {}) const;
  std::int64_t GetLongWide(std::u16string_view path = {}) const;
  std::int32_t GetInt(std::string_view path = {}) const;
  std::int32_t GetIntWide(std::u16string_view path = {}) const;

  // Replaces `keys` with the member names of the object there and returns their count; for
  // anything else returns 0 and leaves `keys` as it was.
  std::size_t GetKeys(std::string_view path, std::vector<std::string>& keys) const;
  std::size_t GetKeysWide(std::u16string_view path, std::vector<std::u16string>& keys) const;
  // Replaces `children` with one sharing document per member value or element and returns
  // the count; with no children returns 0 and leaves `children` as it was.
  std::size_t GetChildren(std::string_view path, std::vector<JsonDocument>& children) const;
  std::size_t GetChildrenWide(std::u16string_view path, std::vector<JsonDocument>& children) const;

  // ---- Building (create walk) -----------------------------------------------------------
  // The node at the path, made when missing.
  JsonDocument NodeAt(std::string_view path);
  JsonDocument NodeAtWide(std::u16string_view path);
  // A new independent document holding a deep copy of the node (numbers get fresh literals
  // made from their values, so 1.50 becomes 1.5).
  JsonDocument CopyAt(std::string_view path = {});
  JsonDocument CopyAtWide(std::u16string_view path = {});
  // The node becomes an empty object (array) unless it already is one.
  bool MakeObject(std::string_view path = {});
  bool MakeObjectWide(std::u16string_view path = {});
  bool MakeArray(std::string_view path = {});
  bool MakeArrayWide(std::u16string_view path = {});
  // Empties the node in place and keeps its kind: containers lose their children, a string
  // becomes empty, a number 0, a boolean false.
  bool ClearAt(std::string_view path = {});
  bool ClearAtWide(std::u16string_view path = {});

  // Setters replace the node's value in place (it keeps its name and position); false only
  // when the document has no root or the walk fails.
  bool SetText(std::string_view path, std::string_view text);
  bool SetTextWide(std::u16string_view path, std::u16string_view text);
  bool SetNull(std::string_view path = {});
  bool SetNullWide(std::u16string_view path = {});
  bool SetBool(std::string_view path, bool value);
  bool SetBoolWide(std::u16string_view path, bool value);
  bool SetReal(std::string_view path, double value);
  bool SetRealWide(std::u16string_view path, double value);
  bool SetLong(std::string_view path, std::int64_t value);
  bool SetLongWide(std::u16string_view path, std::int64_t value);
  bool SetInt(std::string_view path, std::int32_t value);
  bool SetIntWide(std::u16string_view path, std::int32_t value);

  // Stores a deep copy of `doc`'s root (false when it has none). The node at the path
  // becomes an object (for members) or an array (for elements) when it is not one.
  bool SetMemberDocument(std::string_view path, std::string_view name, const JsonDocument& doc);
  bool SetMemberDocumentWide(std::u16string_view path, std::u16string_view name,
                             const JsonDocument& doc);
  // A new name goes in at member `position` (0 to count, else false); a present name is
  // replaced in its place.
  bool InsertMemberDocument(std::string_view path, std::int64_t position, std::string_view name,
                            const JsonDocument& doc);
  bool InsertMemberDocumentWide(std::u16string_view path, std::int64_t position,
                                std::u16string_view name, const JsonDocument& doc);
  bool AppendDocument(std::string_view path, const JsonDocument& doc);
  bool AppendDocumentWide(std::u16string_view path, const JsonDocument& doc);
  // Inserts before element `index` (0 to count; count appends).
  bool InsertDocument(std::string_view path, std::int64_t index, const JsonDocument& doc);
  bool InsertDocumentWide(std::u16string_view path, std::int64_t index, const JsonDocument& doc);
  // Replaces element `index`, or pads with nulls up to it and appends; a negative index, or
  // one more than a million past the end, fails.
  bool SetElementDocument(std::string_view path, std::int64_t index, const JsonDocument& doc);
  bool SetElementDocumentWide(std::u16string_view path, std::int64_t index,
                              const JsonDocument& doc);
  // Stores a copy of every member of `doc`'s object root, in member order.
  bool MergeObject(std::string_view path, const JsonDocument& doc);
  // Appends a copy of every element of `doc`'s array root.
  bool AppendAll(std::string_view path, const JsonDocument& doc);

  // ---- Removal, merging, sorting --------------------------------------------------------
  // Removes the named member of the object there (create walk); false when absent.
  bool RemoveMember(std::string_view path, std::string_view name);
  bool RemoveMemberWide(std::u16string_view path, std::u16string_view name);
  // Removes element `index` of the array there (create walk); false when out of range.
  bool RemoveElement(std::string_view path, std::int64_t index);
  bool RemoveElementWide(std::u16string_view path, std::int64_t index);
  // Parses `text` (not lenient) and merges it into the node (create walk): two objects merge
  // member by member, recursively; a name the node lacks is added at the end only with
  // `addMissing`. Otherwise the parsed value replaces the node when it is a member of an
  // object. Merged values keep their literals. True when anything was merged, added or
  // replaced; false on a parse error.
  bool MergeText(std::string_view path, std::string_view text, bool decodeUnicode = false,
                 bool addMissing = false);
  bool MergeTextWide(std::u16string_view path, std::u16string_view text, bool decodeUnicode = false,
                     bool addMissing = false);
  // Reorders the members of the object there (read walk) by name in code point order,
  // ASCII letters folded with `ignoreCase`; false when no object is there.
  bool SortMembers(std::string_view path = {}, bool descending = false, bool ignoreCase = false);
  bool SortMembersWide(std::u16string_view path = {}, bool descending = false,
                       bool ignoreCase = false);
  // Reorders the members or elements there (read walk) with `compare`; other kinds stay.
  void SortWith(std::string_view path, const Comparator& compare);
  void SortWithWide(std::u16string_view path, const Comparator& compare);

 private:
  // Shares `node` (one more reference), which may be null.
  explicit JsonDocument(json::Node* node) noexcept;
  // Takes over the caller's reference on `node`.
  static JsonDocument Adopt(json::Node* node) noexcept;

  bool ParseImpl(std::optional<std::string_view> text, bool decodeUnicode, bool lenient,
                 JsonParseStatus* status);
  bool ParseIntoImpl(std::string_view text, bool decodeUnicode, bool lenient,
                     JsonParseStatus* status);
  json::Node* Read(std::string_view path) const;
  json::Node* Create(std::string_view path);
  bool StoreMemberImpl(std::string_view path, std::string_view name, const JsonDocument& doc,
                       std::optional<std::int64_t> position);
  bool InsertImpl(std::string_view path, std::int64_t index, const JsonDocument& doc);
  bool SetElementImpl(std::string_view path, std::int64_t index, const JsonDocument& doc);
  bool MergeTextImpl(std::string_view path, std::string_view text, bool decodeUnicode,
                     bool addMissing);
  void SortWithImpl(std::string_view path, const Comparator& compare);
  std::size_t GetChildrenImpl(std::string_view path, std::vector<JsonDocument>& children) const;

  json::Node* root_ = nullptr;
};

}  // namespace guild
