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

}  // namespace guild
