#pragma once
// A map from id text to id text that holds ids in little memory, for a record kept per
// channel over a long run: keys that are decimal numbers without leading zeros (as channel
// ids are) are kept as integers in an open-addressing table, and values that are hex digits
// of one case (as message ids are) as packed bytes. Any other text is kept as it is, so
// every value reads back exactly as it was set. Not thread-safe.

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace guild {

class CompactIdMap {
 public:
  void Set(std::string_view key, std::string_view value);
  std::optional<std::string> Find(std::string_view key) const;

 private:
  static constexpr std::uint64_t kNone = std::numeric_limits<std::uint64_t>::max();

  struct Slot {
    std::uint64_t key = 0;
    std::uint64_t at = kNone;  // the value's place in pool_; kNone: the slot is free
  };

  // Packs `value` into the pool and points `at` at it.
  void Store(std::uint64_t& at, std::string_view value);
  std::string Unpack(std::uint64_t at) const;
  void Compact();
  std::size_t SlotOf(std::uint64_t key) const;
  void Grow();

  std::vector<Slot> byNumber_;  // size 0 or a power of two
  std::size_t numberCount_ = 0;
  std::unordered_map<std::string, std::uint64_t> byText_;
  // Every value back to back, each a form byte, the text's length (LEB128), then the text
  // as given or two hex digits a byte. One block, apart from the short-lived allocations of
  // the event path, so those can be given back.
  std::vector<unsigned char> pool_;
  std::size_t replaced_ = 0;  // bytes of pool_ held by values since replaced
};

}  // namespace guild
