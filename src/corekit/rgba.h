#pragma once

#include <cstdint>

namespace hollowmere {

// An 8-bit sRGB colour with alpha; the colour type of the palette and the theme.
struct Rgba {
    uint8_t red = 0;
    uint8_t green = 0;
    uint8_t blue = 0;
    uint8_t alpha = 255;

    // An opaque colour from 0xRRGGBB.
    static constexpr Rgba fromHex(uint32_t rgb) {
        return {static_cast<uint8_t>(rgb >> 16), static_cast<uint8_t>(rgb >> 8),
                static_cast<uint8_t>(rgb), 255};
    }
    // 0xRRGGBB, alpha left out.
    constexpr uint32_t hex() const {
        return static_cast<uint32_t>(red) << 16 | static_cast<uint32_t>(green) << 8 | blue;
    }

    friend constexpr bool operator==(Rgba, Rgba) = default;
};

} // namespace hollowmere
