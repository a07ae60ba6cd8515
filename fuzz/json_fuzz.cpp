// Parses arbitrary bytes with the flag combinations a leading byte selects, writes the
// result, reads it back and walks a few paths. Any crash, sanitizer report or broken
// invariant (a trap) is a finding.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "json/json_document.h"

namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

// What every text a document writes must satisfy: it reads back, and a second round is a
// fixed point (the first may still turn an LF into CR LF, as reading \n does).
void CheckRoundTrip(const std::string& written) {
  guild::JsonDocument again;
  Check(again.Parse(written));
  const std::string second = again.ToText();
  guild::JsonDocument third;
  Check(third.Parse(second));
  Check(third.ToText() == second);
}

void Walk(guild::JsonDocument& doc) {
  static const char* const kPaths[] = {
      "", "d", "d.author.id", "[0]", "[1].data.text", "op", "data[0].user.id", "a\\.b[2]"};
  for (const char* path : kPaths) {
    (void)doc.GetText(path);
    (void)doc.GetLong(path);
    (void)doc.GetReal(path);
    (void)doc.GetBool(path);
    (void)doc.TypeOf(path);
    (void)doc.KeyOf(path);
    std::vector<std::string> keys;
    doc.GetKeys(path, keys);
    std::vector<guild::JsonDocument> children;
    doc.GetChildren(path, children);
    for (guild::JsonDocument& child : children) (void)child.ToText();
  }
  (void)doc.ToText("", true);
  (void)doc.ToTextWide();
  guild::JsonDocument copy = doc.CopyAt();
  Check(copy.TypeOf() == doc.TypeOf());
  copy.SetText("d.author.id", "1");
  copy.SortMembers();
  copy.AppendDocument("list", doc);
  CheckRoundTrip(copy.ToText());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // A leading byte below 0x10 selects the flags, so the seeds can be plain JSON files.
  std::uint8_t flags = 0;
  if (size > 0 && data[0] < 0x10) {
    flags = data[0];
    ++data;
    --size;
  }
  const bool decodeUnicode = flags & 1;
  const bool lenient = flags & 2;
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  guild::JsonDocument doc;
  guild::JsonParseStatus status;
  bool ok;
  if (flags & 4) {
    std::u16string wide((text.size() + 1) / 2, u'\0');
    for (std::size_t i = 0; i < text.size(); ++i) {
      wide[i / 2] |= static_cast<char16_t>(static_cast<std::uint8_t>(text[i]) << (8 * (i % 2)));
    }
    ok = doc.ParseWide(wide, decodeUnicode, lenient, &status);
    Check(ok || status.position <= wide.size() + 1);
  } else {
    ok = doc.Parse(text, decodeUnicode, lenient, &status);
    Check(ok || status.position <= text.size() + 1);
  }
  Check(ok == (status.code == guild::JsonParseCode::kOk));
  const std::string written = doc.ToText();
  if (!ok) {
    // Nothing of a failed parse remains.
    Check(written == "{}" || written == "[]");
    return 0;
  }
  CheckRoundTrip(written);
  Walk(doc);
  if (flags & 8) {
    guild::JsonDocument merged = doc.CopyAt();
    merged.MergeText("", text, decodeUnicode, true);
    (void)merged.ToText();
  }
  return 0;
}
