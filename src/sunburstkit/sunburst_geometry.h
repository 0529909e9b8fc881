#pragma once

#include "sunburstkit/sunburst_segment.h"

#include <optional>

namespace hollowmere {

// Maps a layout's angles onto a square area of the view: the centre, the hole, and rings that
// get thinner outwards. View-local coordinates, y growing downwards.
class SunburstGeometry {
public:
    struct Point {
        double x = 0;
        double y = 0;
        friend constexpr bool operator==(Point, Point) = default;
    };
    struct Size {
        double width = 0;
        double height = 0;
    };
    struct Radii {
        double inner = 0;
        double outer = 0;
    };

    // The closed polygon of one arc: the outer edge from start to end, then the inner edge
    // back. Vertices are computed on demand, so drawing needs no buffer per arc.
    struct Outline {
        Point center;
        double inner = 0;
        double outer = 0;
        double start = 0;
        double end = 0;
        int steps = 2; // chords per edge

        int pointCount() const { return 2 * (steps + 1); }
        Point pointAt(int index) const;
    };

    static constexpr double holeRatio = 0.27;
    static constexpr double shrinkRatio = 0.86;
    static constexpr double maxChordAngle = 0.025;

    SunburstGeometry(Size size, int maxDepth, double margin);

    Point center() const { return center_; }
    double radius() const { return radius_; }
    double holeRadius() const { return holeRadius_; }
    int maxDepth() const { return maxDepth_; }
    double shrink() const { return shrinkRatio; }

    // Radii of ring `depth`, 1 <= depth <= maxDepth().
    Radii ring(int depth) const;
    // The ring at `distance` from the centre; none in the hole or beyond the outer radius.
    std::optional<int> depth(double distance) const;
    Point point(double radius, double angle) const;
    // The clockwise angle of `point` from twelve o'clock, in [0, 2π): the inverse of point().
    double angle(Point point) const;
    Outline outline(const SunburstSegment& segment, double inner, double outer) const;

private:
    Point center_;
    double radius_ = 0;
    double holeRadius_ = 0;
    int maxDepth_ = 0;
    double firstRingWidth_ = 0;
};

} // namespace hollowmere
