#include "sunburstkit/sunburst_label_rule.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace hollowmere::SunburstLabelRule {

namespace {

constexpr double pi = std::numbers::pi;
// An arc at least this wide is the whole circle: no start or end edge to stay within.
constexpr double fullCircle = 2 * pi - 1e-9;
constexpr double padX = 3;
constexpr double padY = 1;
// Corners must keep this distance from the ring's edges.
constexpr double edgeInset = 1;

} // namespace

double room(double radius, double span) {
    const double chord = 2 * radius * std::sin(std::min(pi, span) / 2);
    return std::min(chord, radius * span) * 0.82;
}

std::optional<Box> place(const SunburstGeometry& geometry, SunburstGeometry::Radii ring,
                         const SunburstSegment& segment, double width, double height) {
    const double radius = (ring.inner + ring.outer) / 2;
    const double span = segment.end - segment.start;
    if (width > room(radius, span) || height > ring.outer - ring.inner) return std::nullopt;

    const SunburstGeometry::Point middle =
        geometry.point(radius, (segment.start + segment.end) / 2);
    const Box box{middle.x - width / 2, middle.y - height / 2, width, height};

    const double left = box.x - padX;
    const double right = box.x + box.width + padX;
    const double top = box.y - padY;
    const double bottom = box.y + box.height + padY;
    const std::array<SunburstGeometry::Point, 4> corners{
        {{left, top}, {right, top}, {right, bottom}, {left, bottom}}};

    const SunburstGeometry::Point center = geometry.center();
    const bool wholeCircle = span >= fullCircle;
    for (const SunburstGeometry::Point corner : corners) {
        const double distance = std::hypot(corner.x - center.x, corner.y - center.y);
        if (distance <= ring.inner + edgeInset || distance >= ring.outer - edgeInset)
            return std::nullopt;
        if (wholeCircle) continue;
        const double angle = geometry.angle(corner);
        if (angle <= segment.start || angle >= segment.end) return std::nullopt;
    }
    return box;
}

} // namespace hollowmere::SunburstLabelRule
