#include "sunburstkit/sunburst_geometry.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace hollowmere {

namespace {

SunburstGeometry::Point pointAround(SunburstGeometry::Point center, double radius, double angle) {
    return {center.x + radius * std::sin(angle), center.y - radius * std::cos(angle)};
}

} // namespace

SunburstGeometry::SunburstGeometry(Size size, int maxDepth, double margin)
    : center_{size.width / 2, size.height / 2}
    , radius_(std::max(0.0, std::min(size.width, size.height) / 2 - margin))
    , holeRadius_(holeRatio * radius_)
    , maxDepth_(maxDepth) {
    // Geometric widths: the rings together fill [holeRadius, radius] exactly.
    if (maxDepth_ > 0) {
        firstRingWidth_ =
            (radius_ - holeRadius_) * (1 - shrinkRatio) / (1 - std::pow(shrinkRatio, maxDepth_));
    }
}

SunburstGeometry::Radii SunburstGeometry::ring(int depth) const {
    const double scale = std::pow(shrinkRatio, depth - 1);
    const double inner = holeRadius_ + firstRingWidth_ * (1 - scale) / (1 - shrinkRatio);
    return {inner, inner + firstRingWidth_ * scale};
}

std::optional<int> SunburstGeometry::depth(double distance) const {
    if (distance <= holeRadius_ || distance > radius_) return std::nullopt;
    for (int d = 1; d <= maxDepth_; ++d) {
        if (distance <= ring(d).outer) return d;
    }
    return std::nullopt; // rounding left the outermost ring just short of the radius
}

SunburstGeometry::Point SunburstGeometry::point(double radius, double angle) const {
    return pointAround(center_, radius, angle);
}

double SunburstGeometry::angle(Point point) const {
    constexpr double fullCircle = 2 * std::numbers::pi;
    double angle = std::atan2(point.x - center_.x, center_.y - point.y);
    if (angle < 0) angle += fullCircle;
    // A tiny negative angle rounds up to exactly 2π, which no arc reaches: it is 12 o'clock.
    if (angle >= fullCircle) angle = 0;
    return angle;
}

SunburstGeometry::Outline SunburstGeometry::outline(const SunburstSegment& segment, double inner,
                                                    double outer) const {
    const double span = segment.end - segment.start;
    const int steps = std::max(2, static_cast<int>(std::ceil(span / maxChordAngle)));
    return {center_, inner, outer, segment.start, segment.end, steps};
}

SunburstGeometry::Point SunburstGeometry::Outline::pointAt(int index) const {
    // Indexes 0...steps walk the outer edge forwards, the rest the inner edge backwards.
    const bool onOuter = index <= steps;
    const int step = onOuter ? index : pointCount() - 1 - index;
    const double angle = start + (end - start) * step / steps;
    return pointAround(center, onOuter ? outer : inner, angle);
}

} // namespace hollowmere
