#pragma once

#include <cstdint>
#include <string_view>

namespace guild {

// Leading white space, an optional sign and decimal digits, read up to the first other
// character; no digits give 0. Full-width forms (U+FF01..U+FF5E, U+3000) count as their
// ASCII twins. The value wraps in 32 bits, as ids cut to 9 characters rely on.
std::int32_t TextToInt(std::string_view text);

}  // namespace guild
