#pragma once

#include <string>
#include <string_view>

namespace hollowmere {

// Turns bytes into valid UTF-8 text: every maximal ill-formed subsequence becomes U+FFFD.
// Valid input is returned unchanged.
std::string repairUtf8(std::string_view bytes);

// True when the bytes are well-formed UTF-8.
bool isValidUtf8(std::string_view bytes);

} // namespace hollowmere
