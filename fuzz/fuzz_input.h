#pragma once
// How the fuzz targets read their input: the first byte picks the OneBot modes, so every
// corpus entry also chooses the form its events and answers take; the rest is frames
// separated by 0x1E bytes.

#include <cstdint>
#include <string_view>
#include <vector>

#include "app/run_config.h"
#include "util/unicode.h"

namespace guild::fuzz {

inline RunConfig ConfigForModes(std::uint8_t modes) {
  RunConfig config;
  config.groupMode = (modes & 1) != 0;
  config.arrayMessageMode = (modes & 2) != 0;
  config.numericIdMode = (modes & 4) != 0;
  config.botAuthorization = "Bot 102003.token";
  return config;
}

// Every piece between 0x1E separators, empty ones included.
inline std::vector<std::string_view> SplitFrames(std::string_view input) {
  std::vector<std::string_view> frames;
  std::size_t start = 0;
  while (start <= input.size()) {
    std::size_t end = input.find('\x1e', start);
    if (end == std::string_view::npos) end = input.size();
    frames.push_back(input.substr(start, end - start));
    start = end + 1;
  }
  return frames;
}

// Text frames reach the program only as valid UTF-8: the WebSocket client checks them.
inline bool IsValidUtf8(std::string_view bytes) {
  return Utf8BytesToLocal(bytes) == bytes;
}

}  // namespace guild::fuzz
