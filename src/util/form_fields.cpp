#include "util/form_fields.h"

#include <algorithm>

#include "util/text.h"

namespace guild {

void FormFields::Add(std::string_view name, std::string_view value, bool /*toUtf8*/) {
  fields_.push_back({std::string(name), std::string(value)});
}

void FormFields::AddQuery(std::string_view query, bool toUtf8) {
  // A trailing "&" would leave a final empty piece; like a line splitter, it is dropped.
  std::size_t start = 0;
  while (start < query.size()) {
    std::size_t end = query.find('&', start);
    if (end == std::string_view::npos) end = query.size();
    const std::string_view piece = query.substr(start, end - start);
    Add(TextBeforeFirst(piece, "="), TextAfterLast(piece, "="), toUtf8);
    start = end + 1;
  }
}

std::string FormFields::Get(std::string_view name) const {
  const auto it = std::find_if(fields_.begin(), fields_.end(),
                               [&](const Field& field) { return field.name == name; });
  return it == fields_.end() ? std::string() : it->value;
}

void FormFields::Set(std::string_view name, std::string_view value) {
  const auto it = std::find_if(fields_.begin(), fields_.end(),
                               [&](const Field& field) { return field.name == name; });
  if (it == fields_.end()) {
    Add(name, value);
  } else {
    it->value = value;
  }
}

std::string FormFields::Join(std::string_view between, std::string_view separator,
                             bool urlEncode) const {
  std::string out;
  for (const Field& field : fields_) {
    if (&field != &fields_.front()) out += separator;
    out += field.name;
    out += between;
    // Names are written as given: callers pass fixed, already safe names.
    out += urlEncode ? PercentEncodeBytes(field.value, /*keepSafe=*/true) : field.value;
  }
  return out;
}

std::string FormFields::ToQuery(bool urlEncode) const {
  return Join("=", "&", urlEncode);
}

std::string FormFields::ToHeaders(bool urlEncode) const {
  return Join(": ", "\r\n", urlEncode);
}

void FormFields::GetNames(std::vector<std::string>& names) const {
  names.clear();
  for (const Field& field : fields_) names.push_back(field.name);
}

void FormFields::GetValues(std::vector<std::string>& values) const {
  values.clear();
  for (const Field& field : fields_) values.push_back(field.value);
}

void FormFields::Clear() {
  fields_.clear();
}

void FormFields::Remove(std::string_view name) {
  const auto it = std::find_if(fields_.begin(), fields_.end(),
                               [&](const Field& field) { return field.name == name; });
  if (it != fields_.end()) fields_.erase(it);
}

std::string FormFields::ToJson() const {
  std::string body;
  for (const Field& field : fields_) {
    body += '"';
    body += field.name;
    body += "\":\"";
    body += EscapeQuotes(field.value);
    body += "\",";
  }
  return "{" + TrimAffix(body, ",") + "}";
}

std::string FormFields::EscapeQuotes(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    if (c == '"') out += '\\';
    out += c;
  }
  return out;
}

std::string FormFields::TrimAffix(std::string_view text, std::string_view affix) {
  if (affix.empty()) return std::string(text);
  if (text.ends_with(affix)) text.remove_suffix(affix.size());
  if (text.starts_with(affix)) text.remove_prefix(affix.size());
  return std::string(text);
}

}  // namespace guild
