#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace hollowmere {

// Turns bytes into valid UTF-8 text: every maximal ill-formed subsequence becomes U+FFFD.
// Valid input is returned unchanged.
std::string repairUtf8(std::string_view bytes);

// True when the bytes are well-formed UTF-8.
bool isValidUtf8(std::string_view bytes);

// Lower-cases text whose lower case is plain ASCII into `out`: ASCII letters fold, and the
// Kelvin sign (U+212A, the one non-ASCII character that lower-cases to ASCII) becomes "k".
// Returns the length written; nothing when any other non-ASCII byte appears (such text can
// never equal an ASCII word) or when `out` is too small. Allocates nothing.
std::optional<size_t> lowerToAscii(std::string_view text, std::span<char> out);

} // namespace hollowmere
