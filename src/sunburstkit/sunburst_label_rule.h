#pragma once

#include "sunburstkit/sunburst_geometry.h"
#include "sunburstkit/sunburst_segment.h"

#include <optional>

namespace hollowmere {

// Where a name may be written on the map: only on rings wide enough, only on arcs with room
// for a short word, and only when the whole text box stays inside its arc and ring.
namespace SunburstLabelRule {

// Rings that take labels at all: the two innermost.
inline constexpr int labelledRings = 2;
// A ring narrower than this (outer minus inner radius) takes no labels.
inline constexpr double minRingWidth = 16;
// An arc with less room than this takes no label, whatever its text.
inline constexpr double minRoom = 44;

struct Box {
    double x = 0; // left
    double y = 0; // top
    double width = 0;
    double height = 0;
};

// The horizontal room for text on an arc of `span` radians at mid radius `radius`: the chord
// or the arc, whichever is shorter, less 18%.
double room(double radius, double span);

// The box of a text of `width` x `height`, drawn level and centred on the middle of `segment`
// in the ring `ring`; none when the text is wider than the room, taller than the ring, or when
// its box, with 3 points of padding left and right and 1 above and below, reaches outside the
// arc. Callers test room() against minRoom first, so that only likely labels are measured.
std::optional<Box> place(const SunburstGeometry& geometry, SunburstGeometry::Radii ring,
                         const SunburstSegment& segment, double width, double height);

} // namespace SunburstLabelRule

} // namespace hollowmere
