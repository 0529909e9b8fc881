#pragma once

#include "corekit/rgba.h"

#include <array>
#include <string_view>

namespace hollowmere {

// A named colour with a value for the light and one for the dark appearance.
struct ThemeColor {
    std::string_view name;
    Rgba light;
    Rgba dark;

    constexpr Rgba resolved(bool darkAppearance) const { return darkAppearance ? dark : light; }
};

// The app's named colours. Constant data, so any thread may read them at any time.
namespace VellicorTheme {

// Accent fills, the capacity bar's files part, prominent buttons.
inline constexpr ThemeColor accent{"VellicorAccent", Rgba::fromHex(0x1B3149),
                                   Rgba::fromHex(0xE2B77F)};
// Text and symbols on the accent colour.
inline constexpr ThemeColor onAccent{"VellicorOnAccent", Rgba::fromHex(0xF5F1EB),
                                     Rgba::fromHex(0x1B3149)};
// Window backgrounds and the separator lines between map arcs.
inline constexpr ThemeColor canvas{"VellicorCanvas", Rgba::fromHex(0xE2DDD5),
                                   Rgba::fromHex(0x19212B)};
// Secondary text, such as the map's centre label.
inline constexpr ThemeColor softText{"VellicorSoftText", Rgba::fromHex(0x5B5750),
                                     Rgba::fromHex(0xB4B1AB)};
// Panels and cards laid on the canvas.
inline constexpr ThemeColor surface{"VellicorSurface", Rgba::fromHex(0xF5F1EB),
                                    Rgba::fromHex(0x252B33)};

inline constexpr std::array<ThemeColor, 5> all{accent, onAccent, canvas, softText, surface};

} // namespace VellicorTheme

} // namespace hollowmere
