#pragma once
// An ordered list of name/value texts written out as a query, as request header lines or as
// a flat JSON object. Names may repeat; lookups find the first field with exactly that name.
// A plain value type: copies are independent. Not synchronised; one thread at a time.

#include <string>
#include <string_view>
#include <vector>

namespace guild {

class FormFields {
 public:
  // Appends the pair. Texts are already UTF-8, so `toUtf8` changes nothing. Cannot fail.
  void Add(std::string_view name, std::string_view value, bool toUtf8 = false);

  // Adds one field per "&"-separated piece: the name before its first "=", the value after
  // its last one; a piece without "=" adds an empty field. Cannot fail.
  void AddQuery(std::string_view query, bool toUtf8 = false);

  // Value of the first field with that name; "" when there is none.
  std::string Get(std::string_view name) const;

  // Replaces the value of the first field with that name, or appends the pair.
  void Set(std::string_view name, std::string_view value);

  // name=value joined by "&"; "" with no fields. `urlEncode` percent-encodes values only.
  std::string ToQuery(bool urlEncode = false) const;

  // "name: value" lines joined by CR LF, no line break after the last; "" with no fields.
  std::string ToHeaders(bool urlEncode = false) const;

  // Replace the caller's list with the names or the values in order. Cannot fail.
  void GetNames(std::vector<std::string>& names) const;
  void GetValues(std::vector<std::string>& values) const;

  void Clear();

  // Removes the first field with that name; nothing happens when there is none.
  void Remove(std::string_view name);

  // {"name":"value",...} with only the double quotes of values escaped; "{}" with no fields.
  std::string ToJson() const;

  // Every double quote preceded by a backslash.
  static std::string EscapeQuotes(std::string_view text);

  // Removes `affix` once from the end, then once from the start, where present.
  static std::string TrimAffix(std::string_view text, std::string_view affix);

 private:
  struct Field {
    std::string name;
    std::string value;
  };

  std::string Join(std::string_view between, std::string_view separator, bool urlEncode) const;

  std::vector<Field> fields_;
};

}  // namespace guild
