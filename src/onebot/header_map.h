#pragma once
// The headers of a WebSocket upgrade request, in the order they are sent.

#include <string>
#include <utility>
#include <vector>

namespace guild {

class HeaderMap {
 public:
  using Pair = std::pair<std::string, std::string>;

  // Empties the map, then stores the pairs in order.
  void CreateByDatas(std::vector<Pair> pairs) { pairs_ = std::move(pairs); }
  const std::vector<Pair>& Pairs() const { return pairs_; }

  // One line for the console, "{name: value, ...}", with any Authorization value masked.
  std::string ToString() const;

 private:
  std::vector<Pair> pairs_;
};

// An Authorization value fit for the console: the scheme and at most the part before the
// first "." (the app id of "Bot <appid>.<token>"), then "***". The secret never shows.
std::string MaskAuthorizationValue(const std::string& value);

}  // namespace guild
