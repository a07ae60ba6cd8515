#include "gateway/compact_id_map.h"

#include <limits>

namespace guild {
namespace {

enum Form : unsigned char { kAsGiven = 0, kLowerHex = 1, kUpperHex = 2 };

// The number a key is, when the number's decimal text is the key itself.
std::optional<std::uint64_t> CanonicalNumber(std::string_view text) {
  if (text.empty() || (text[0] == '0' && text.size() > 1)) return std::nullopt;
  std::uint64_t value = 0;
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    const auto digit = static_cast<std::uint64_t>(c - '0');
    if (value > (kMax - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

Form FormOf(std::string_view text) {
  bool lower = false;
  bool upper = false;
  for (const char c : text) {
    if (c >= '0' && c <= '9') continue;
    if (c >= 'a' && c <= 'f') {
      lower = true;
    } else if (c >= 'A' && c <= 'F') {
      upper = true;
    } else {
      return kAsGiven;
    }
  }
  if (lower && upper) return kAsGiven;
  return upper ? kUpperHex : kLowerHex;
}

unsigned char Nibble(char c) {
  if (c <= '9') return static_cast<unsigned char>(c - '0');
  if (c >= 'a') return static_cast<unsigned char>(c - 'a' + 10);
  return static_cast<unsigned char>(c - 'A' + 10);
}

std::size_t PayloadSize(Form form, std::size_t length) {
  return form == kAsGiven ? length : (length + 1) / 2;
}

std::size_t LengthFieldSize(std::size_t length) {
  std::size_t bytes = 1;
  for (; length >= 0x80; length >>= 7) ++bytes;
  return bytes;
}

// Form and length of a packed value, and where its payload starts.
struct Header {
  Form form;
  std::size_t length;
  const unsigned char* payload;
};

Header ReadHeader(const unsigned char* packed) {
  Header header{static_cast<Form>(packed[0]), 0, packed + 1};
  for (int shift = 0;; shift += 7) {
    const unsigned char byte = *header.payload++;
    header.length |= static_cast<std::size_t>(byte & 0x7F) << shift;
    if (!(byte & 0x80)) break;
  }
  return header;
}

std::size_t BlockSize(Form form, std::size_t length) {
  return 1 + LengthFieldSize(length) + PayloadSize(form, length);
}

std::uint64_t Mix(std::uint64_t key) {
  key ^= key >> 33;
  key *= 0xff51afd7ed558ccdULL;
  key ^= key >> 33;
  return key;
}

}  // namespace

void CompactIdMap::Store(std::uint64_t& at, std::string_view value) {
  const Form form = FormOf(value);
  const std::size_t size = BlockSize(form, value.size());
  if (at != kNone) {
    const Header old = ReadHeader(pool_.data() + at);
    const std::size_t oldSize = BlockSize(old.form, old.length);
    // Ids of one channel mostly keep their length, so a value is usually replaced in place.
    if (oldSize != size) {
      replaced_ += oldSize;
      at = kNone;
      if (replaced_ > 4096 && replaced_ * 2 > pool_.size()) Compact();
    }
  }
  if (at == kNone) {
    at = pool_.size();
    pool_.resize(pool_.size() + size);
  }
  unsigned char* out = pool_.data() + at;
  *out++ = form;
  for (std::size_t length = value.size();; length >>= 7) {
    *out++ = static_cast<unsigned char>((length & 0x7F) | (length >= 0x80 ? 0x80 : 0));
    if (length < 0x80) break;
  }
  if (form == kAsGiven) {
    value.copy(reinterpret_cast<char*>(out), value.size());
    return;
  }
  for (std::size_t i = 0; i < value.size(); i += 2) {
    const unsigned char low = i + 1 < value.size() ? Nibble(value[i + 1]) : 0;
    *out++ = static_cast<unsigned char>(Nibble(value[i]) << 4 | low);
  }
}

std::string CompactIdMap::Unpack(std::uint64_t at) const {
  const Header header = ReadHeader(pool_.data() + at);
  if (header.form == kAsGiven) {
    return std::string(reinterpret_cast<const char*>(header.payload), header.length);
  }
  const char* digits = header.form == kUpperHex ? "0123456789ABCDEF" : "0123456789abcdef";
  std::string text(header.length, '\0');
  for (std::size_t i = 0; i < header.length; ++i) {
    const unsigned char byte = header.payload[i / 2];
    text[i] = digits[i % 2 == 0 ? byte >> 4 : byte & 0x0F];
  }
  return text;
}

void CompactIdMap::Compact() {
  std::vector<unsigned char> kept;
  kept.reserve(pool_.size() - replaced_);
  auto keep = [&](std::uint64_t& at) {
    if (at == kNone) return;
    const Header header = ReadHeader(pool_.data() + at);
    const auto begin = pool_.begin() + static_cast<std::ptrdiff_t>(at);
    at = kept.size();
    kept.insert(kept.end(), begin,
                begin + static_cast<std::ptrdiff_t>(BlockSize(header.form, header.length)));
  };
  for (Slot& slot : byNumber_) keep(slot.at);
  for (auto& entry : byText_) keep(entry.second);
  pool_ = std::move(kept);
  replaced_ = 0;
}

std::size_t CompactIdMap::SlotOf(std::uint64_t key) const {
  const std::size_t mask = byNumber_.size() - 1;
  std::size_t index = Mix(key) & mask;
  while (byNumber_[index].at != kNone && byNumber_[index].key != key) index = (index + 1) & mask;
  return index;
}

void CompactIdMap::Grow() {
  std::vector<Slot> old(byNumber_.empty() ? 16 : byNumber_.size() * 2);
  old.swap(byNumber_);
  for (Slot& slot : old) {
    if (slot.at != kNone) byNumber_[SlotOf(slot.key)] = slot;
  }
}

void CompactIdMap::Set(std::string_view key, std::string_view value) {
  const std::optional<std::uint64_t> number = CanonicalNumber(key);
  if (!number) return Store(byText_.try_emplace(std::string(key), kNone).first->second, value);
  // At most three quarters full, so a probe meets a free slot soon.
  if ((numberCount_ + 1) * 4 > byNumber_.size() * 3) Grow();
  Slot& slot = byNumber_[SlotOf(*number)];
  if (slot.at == kNone) {
    slot.key = *number;
    ++numberCount_;
  }
  Store(slot.at, value);
}

std::optional<std::string> CompactIdMap::Find(std::string_view key) const {
  if (const std::optional<std::uint64_t> number = CanonicalNumber(key)) {
    if (byNumber_.empty()) return std::nullopt;
    const Slot& slot = byNumber_[SlotOf(*number)];
    if (slot.at == kNone) return std::nullopt;
    return Unpack(slot.at);
  }
  const auto found = byText_.find(std::string(key));
  if (found == byText_.end()) return std::nullopt;
  return Unpack(found->second);
}

}  // namespace guild
