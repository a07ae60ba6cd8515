#include "util/ini_document.h"

#include <algorithm>
#include <climits>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace guild {

namespace {

constexpr std::string_view kLineBreak = "\r\n";
constexpr std::string_view kEscapedLineBreak = "{\\r\\n}";
constexpr std::string_view kFullWidthSpace = "\xE3\x80\x80";  // U+3000

std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
  std::string out;
  out.reserve(text.size());
  std::size_t start = 0;
  for (std::size_t at = text.find(from); at != std::string_view::npos;
       at = text.find(from, start)) {
    out.append(text.substr(start, at - start));
    out.append(to);
    start = at + from.size();
  }
  out.append(text.substr(start));
  return out;
}

std::string_view TrimBlanks(std::string_view text) {
  for (bool trimmed = true; trimmed && !text.empty();) {
    trimmed = false;
    if (text.front() == ' ') {
      text.remove_prefix(1);
      trimmed = true;
    } else if (text.starts_with(kFullWidthSpace)) {
      text.remove_prefix(kFullWidthSpace.size());
      trimmed = true;
    }
  }
  for (bool trimmed = true; trimmed && !text.empty();) {
    trimmed = false;
    if (text.back() == ' ') {
      text.remove_suffix(1);
      trimmed = true;
    } else if (text.ends_with(kFullWidthSpace)) {
      text.remove_suffix(kFullWidthSpace.size());
      trimmed = true;
    }
  }
  return text;
}

// Dropping the fraction is the truncation toward zero. The magnitude stops growing just past
// int range, so no length of digits can overflow.
int LeadingInt(std::string_view text) {
  std::size_t at = text.find_first_not_of(" \t");
  if (at == std::string_view::npos) return 0;
  bool negative = false;
  if (text[at] == '+' || text[at] == '-') {
    negative = text[at] == '-';
    ++at;
  }
  long long magnitude = 0;
  constexpr long long kLimit = static_cast<long long>(INT_MAX) + 1;
  for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
    magnitude = std::min(magnitude * 10 + (text[at] - '0'), kLimit);
  }
  if (negative) return static_cast<int>(std::max(-magnitude, static_cast<long long>(INT_MIN)));
  return static_cast<int>(std::min(magnitude, static_cast<long long>(INT_MAX)));
}

}  // namespace

const IniDocument::Section* IniDocument::FindSection(std::string_view name) const {
  const auto it = std::find_if(sections_.begin(), sections_.end(),
                               [&](const Section& section) { return section.name == name; });
  return it == sections_.end() ? nullptr : &*it;
}

const std::string* IniDocument::FindValue(std::string_view section, std::string_view key) const {
  if (section.empty() || key.empty()) return nullptr;
  const Section* found = FindSection(section);
  if (found == nullptr) return nullptr;
  for (const auto& [entryKey, value] : found->entries) {
    if (entryKey == key) return &value;
  }
  return nullptr;
}

bool IniDocument::WriteValue(std::string_view section, std::string_view key,
                             std::string_view value) {
  if (section.empty() || key.empty()) return false;
  std::string escaped = EscapeLineBreaks(value);
  auto it = std::find_if(sections_.begin(), sections_.end(),
                         [&](const Section& candidate) { return candidate.name == section; });
  if (it == sections_.end()) {
    sections_.push_back({std::string(section), {}});
    it = std::prev(sections_.end());
  }
  for (auto& [entryKey, entryValue] : it->entries) {
    if (entryKey == key) {
      entryValue = std::move(escaped);
      return true;
    }
  }
  it->entries.emplace_back(std::string(key), std::move(escaped));
  return true;
}

std::string IniDocument::ReadText(std::string_view section, std::string_view key,
                                  std::string_view defaultValue) const {
  const std::string* value = FindValue(section, key);
  return value == nullptr ? std::string(defaultValue) : UnescapeLineBreaks(*value);
}

int IniDocument::ReadNumber(std::string_view section, std::string_view key,
                            int defaultValue) const {
  const std::string* value = FindValue(section, key);
  return value == nullptr ? defaultValue : LeadingInt(UnescapeLineBreaks(*value));
}

bool IniDocument::Delete(std::string_view section, std::optional<std::string_view> key) {
  if (section.empty()) return false;
  const auto it = std::find_if(sections_.begin(), sections_.end(),
                               [&](const Section& candidate) { return candidate.name == section; });
  if (it == sections_.end()) return true;
  if (!key) {
    sections_.erase(it);
    return true;
  }
  std::erase_if(it->entries, [&](const auto& entry) { return entry.first == *key; });
  return true;
}

void IniDocument::ClearAll() {
  sections_.clear();
}

int IniDocument::EntriesOf() const {
  return static_cast<int>(sections_.size());
}

int IniDocument::EntriesOf(std::string_view section) const {
  return static_cast<int>(
      std::count_if(sections_.begin(), sections_.end(),
                    [&](const Section& candidate) { return candidate.name == section; }));
}

int IniDocument::EntriesOf(std::string_view section, Entries& entries) const {
  const Section* found = FindSection(section);
  entries = found == nullptr ? Entries() : found->entries;
  return static_cast<int>(entries.size());
}

int IniDocument::KeysOf(std::string_view section, std::vector<std::string>& keys) const {
  if (section.empty()) return 0;
  keys.clear();
  if (const Section* found = FindSection(section)) {
    for (const auto& entry : found->entries) keys.push_back(entry.first);
  }
  return static_cast<int>(keys.size());
}

int IniDocument::SectionNames() const {
  return static_cast<int>(sections_.size());
}

int IniDocument::SectionNames(std::vector<std::string>& names) const {
  names.clear();
  for (const Section& section : sections_) names.push_back(section.name);
  return static_cast<int>(names.size());
}

bool IniDocument::LoadFile(const std::string& path) {
  path_ = path;
  std::error_code error;
  // A directory opens for reading on Linux; only a regular file counts as existing.
  if (path.empty() || !std::filesystem::is_regular_file(path, error)) return false;
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  const std::string data{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  return ParseData(data);
}

bool IniDocument::ParseData(std::string_view data) {
  std::vector<std::string_view> lines;
  for (std::size_t start = 0; start < data.size();) {
    std::size_t end = data.find(kLineBreak, start);
    if (end == std::string_view::npos) end = data.size();
    lines.push_back(data.substr(start, end - start));
    start = end + kLineBreak.size();
  }
  if (lines.empty()) return false;

  sections_.clear();
  std::string current;
  for (const std::string_view raw : lines) {
    const std::string_view line = TrimBlanks(raw);
    if (line.empty()) continue;
    if (line.front() == '[') {
      // An unclosed header names no section we can trust, so its entries are dropped rather
      // than merged into the section before it.
      current = line.size() >= 2 && line.back() == ']' ? line.substr(1, line.size() - 2) : "";
      continue;
    }
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    // Empty section or key: WriteValue refuses it, which drops entries before any header.
    WriteValue(current, TrimBlanks(line.substr(0, equals)), line.substr(equals + 1));
  }
  return true;
}

std::string IniDocument::EscapeLineBreaks(std::string_view text) {
  return ReplaceAll(text, kLineBreak, kEscapedLineBreak);
}

std::string IniDocument::UnescapeLineBreaks(std::string_view text) {
  return ReplaceAll(text, kEscapedLineBreak, kLineBreak);
}

std::string IniDocument::ToData() const {
  std::string out;
  for (const Section& section : sections_) {
    out.append("[").append(section.name).append("]").append(kLineBreak);
    for (const auto& [key, value] : section.entries) {
      out.append(key).append("=").append(EscapeLineBreaks(value)).append(kLineBreak);
    }
  }
  return out;
}

bool IniDocument::SaveFile(std::optional<std::string> path) const {
  const std::string& target = path ? *path : path_;
  if (target.empty()) return false;
  const std::string data = ToData();
  if (data.empty()) return false;
  std::ofstream out(target, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  out.write(data.data(), static_cast<std::streamsize>(data.size()));
  out.close();
  return !out.fail();
}

}  // namespace guild
