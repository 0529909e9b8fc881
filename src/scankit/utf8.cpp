#include "utf8.h"

#include <cstdint>

namespace hollowmere {

namespace {

constexpr std::string_view replacement = "\xEF\xBF\xBD";

// Length of the well-formed sequence at `i`, or 0 with `bad` set to the length of the
// maximal ill-formed prefix (at least 1) to replace.
size_t sequenceLength(std::string_view s, size_t i, size_t& bad) {
    const auto at = [&](size_t k) { return static_cast<uint8_t>(s[k]); };
    const uint8_t b0 = at(i);
    bad = 1;
    if (b0 < 0x80) return 1;
    size_t need;
    uint8_t lo = 0x80, hi = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        need = 1;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        need = 2;
        if (b0 == 0xE0) lo = 0xA0;
        if (b0 == 0xED) hi = 0x9F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        need = 3;
        if (b0 == 0xF0) lo = 0x90;
        if (b0 == 0xF4) hi = 0x8F;
    } else {
        return 0;
    }
    for (size_t k = 1; k <= need; ++k) {
        if (i + k >= s.size()) {
            bad = k;
            return 0;
        }
        const uint8_t b = at(i + k);
        const uint8_t low = k == 1 ? lo : 0x80, high = k == 1 ? hi : 0xBF;
        if (b < low || b > high) {
            bad = k;
            return 0;
        }
    }
    return need + 1;
}

} // namespace

std::optional<size_t> lowerToAscii(std::string_view text, std::span<char> out) {
    size_t length = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (length == out.size()) return std::nullopt;
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x80) {
            out[length++] = static_cast<char>(byte >= 'A' && byte <= 'Z' ? byte | 0x20 : byte);
        } else if (text.substr(i, 3) == "\xE2\x84\xAA") {
            out[length++] = 'k';
            i += 2;
        } else {
            return std::nullopt;
        }
    }
    return length;
}

bool isValidUtf8(std::string_view bytes) {
    size_t bad = 0;
    for (size_t i = 0; i < bytes.size();) {
        const size_t n = sequenceLength(bytes, i, bad);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

std::string repairUtf8(std::string_view bytes) {
    if (isValidUtf8(bytes)) return std::string(bytes);
    std::string out;
    out.reserve(bytes.size() + 8);
    size_t bad = 0;
    for (size_t i = 0; i < bytes.size();) {
        const size_t n = sequenceLength(bytes, i, bad);
        if (n == 0) {
            out += replacement;
            i += bad;
        } else {
            out.append(bytes.substr(i, n));
            i += n;
        }
    }
    return out;
}

} // namespace hollowmere
