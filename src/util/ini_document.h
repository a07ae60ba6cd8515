#pragma once
// An in-memory INI document: ordered sections of ordered key/value texts, loaded from and
// saved as "[section]" and "key=value" lines joined by CR LF. Names and keys compare exactly.
// Values are held with each CR LF escaped as the six characters {\r\n}, so a value always
// fits on one line; readers get CR LF back.
//
// A plain value type: copies are independent. Not synchronised: the process-wide channel
// map is written by one thread and read by another, so its owner guards it with a lock.
// Failures are return values; no exception leaves the class.

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace guild {

class IniDocument {
 public:
  using Entries = std::vector<std::pair<std::string, std::string>>;

  // False when section or key is empty; otherwise replaces the key's value in place or
  // appends the entry (and the section) at the end.
  bool WriteValue(std::string_view section, std::string_view key, std::string_view value);

  // The unescaped value; `defaultValue` when section or key is empty or absent.
  std::string ReadText(std::string_view section, std::string_view key,
                       std::string_view defaultValue = "") const;

  // The value's leading decimal number truncated toward zero and clamped into int; 0 when the
  // value holds no number; `defaultValue` when section or key is empty or absent.
  int ReadNumber(std::string_view section, std::string_view key, int defaultValue = 0) const;

  // Removes the entry, or the whole section when no key is given. False only for an empty
  // section name; removing what is not there succeeds.
  bool Delete(std::string_view section, std::optional<std::string_view> key = std::nullopt);

  void ClearAll();

  // The number of sections.
  int EntriesOf() const;
  // How many sections have this name (0 or 1).
  int EntriesOf(std::string_view section) const;
  // Replaces `entries` with the section's entries, values as stored (escaped); their number.
  // An absent section gives an empty list and 0.
  int EntriesOf(std::string_view section, Entries& entries) const;

  // Empty section name: 0 and `keys` untouched. Otherwise replaces `keys` with the section's
  // keys (none when it is absent) and returns their number.
  int KeysOf(std::string_view section, std::vector<std::string>& keys) const;

  // The number of sections; the overload also replaces `names` with them in order.
  int SectionNames() const;
  int SectionNames(std::vector<std::string>& names) const;

  // Remembers `path` for SaveFile, then parses the file there. False when it cannot be read
  // or ParseData fails; the document is then left as it was.
  bool LoadFile(const std::string& path = "");

  // Replaces the whole document with the sections read from CR LF separated lines. False for
  // empty data, which leaves the document as it was. Entries before the first header, or
  // after a header without its closing "]", are dropped.
  bool ParseData(std::string_view data);
  bool LoadData(std::string_view data) { return ParseData(data); }

  static std::string EscapeLineBreaks(std::string_view text);
  static std::string UnescapeLineBreaks(std::string_view text);

  // The INI text; "" for a document without sections.
  std::string ToData() const;

  // Writes ToData to `path`, or to the path LoadFile remembered when none is given. False
  // for an empty path, an empty document or a failed write.
  bool SaveFile(std::optional<std::string> path = std::nullopt) const;

 private:
  struct Section {
    std::string name;
    Entries entries;
  };

  const Section* FindSection(std::string_view name) const;
  const std::string* FindValue(std::string_view section, std::string_view key) const;

  std::vector<Section> sections_;
  std::string path_;
};

}  // namespace guild
