#pragma once

#include "corekit/rgba.h"

#include <optional>

namespace hollowmere {

// The map's colours. Each top-level branch takes one of seven hues that fades with depth and is
// paler for files; arcs without a slot are neutral. All 384 fills are mixed once, on first use
// from any thread, so drawing only looks colours up.
namespace RingPalette {

inline constexpr int slotCount = 7;

// The fill of an arc. Slots outside 0...6 (or none) are neutral; depth is clamped to 1...6.
Rgba fill(std::optional<int> slot, int depth, bool isFile, bool dark, bool increasedContrast);

// A readable text colour for a label on that arc, judged on the highlighted colour when the
// arc is highlighted.
Rgba label(std::optional<int> slot, int depth, bool isFile, bool dark, bool highlighted,
           bool increasedContrast);

// The slot's base colour, as shown beside a list row; neutral for none or a slot outside 0...6.
Rgba swatch(std::optional<int> slot, bool dark);

// Opacity of the white overlay on the highlighted arc.
constexpr double highlightOpacity(bool dark) {
    return dark ? 0.16 : 0.28;
}

// Width in points of the separator lines between arcs.
constexpr double gapWidth(bool increasedContrast) {
    return increasedContrast ? 2.0 : 1.0;
}

} // namespace RingPalette

} // namespace hollowmere
