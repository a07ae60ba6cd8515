#include "http/charset.h"

#include <iconv.h>

#include <cerrno>

#include "util/regex_object.h"

namespace guild {
namespace {

constexpr std::size_t kMetaWindow = 1024;
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// Closes the descriptor on every path.
class Converter {
 public:
  explicit Converter(const std::string& from) : cd_(iconv_open("UTF-8", from.c_str())) {}
  ~Converter() {
    if (ok()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return cd_; }

 private:
  iconv_t cd_;
};

}  // namespace

std::string MetaCharset(std::string_view text) {
  // The tag is ASCII; other bytes stand in as '?' so that a page in a foreign charset (not
  // valid UTF-8) or a window ending inside a character still matches where it should.
  std::string window(text.substr(0, kMetaWindow));
  for (char& c : window) {
    if (static_cast<unsigned char>(c) >= 0x80) c = '?';
  }
  RegexObject meta;
  if (!meta.Create(R"(<meta.+?charset=[^\w]?([-\w]+))", window)) return "";
  return meta.GetSubMatch(1, 1);
}

std::optional<std::string> DecodeToUtf8(std::string_view bytes, std::string_view charset) {
  Converter converter{std::string(charset)};
  if (!converter.ok()) return std::nullopt;
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 2);
  char* in = const_cast<char*>(bytes.data());
  std::size_t inLeft = bytes.size();
  char buffer[4096];
  while (inLeft > 0) {
    char* outPos = buffer;
    std::size_t outLeft = sizeof buffer;
    const std::size_t done = iconv(converter.get(), &in, &inLeft, &outPos, &outLeft);
    out.append(buffer, static_cast<std::size_t>(outPos - buffer));
    if (done != static_cast<std::size_t>(-1)) break;
    if (errno == E2BIG) continue;
    // EILSEQ skips the bad byte; EINVAL is a sequence cut off at the end.
    out.append(kReplacement);
    if (errno == EINVAL) break;
    ++in;
    --inLeft;
  }
  // Flush any shift state the charset keeps.
  char* outPos = buffer;
  std::size_t outLeft = sizeof buffer;
  iconv(converter.get(), nullptr, nullptr, &outPos, &outLeft);
  out.append(buffer, static_cast<std::size_t>(outPos - buffer));
  return out;
}

}  // namespace guild
