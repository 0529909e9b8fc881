#include "sunburstkit/sunburst_geometry.h"
#include "sunburstkit/sunburst_label_rule.h"

#include <cmath>
#include <gtest/gtest.h>
#include <numbers>
#include <string>

using namespace hollowmere;

namespace {

constexpr double pi = std::numbers::pi;

SunburstSegment arc(double start, double end) {
    return {SunburstSegment::Item{1}, 1, start, end, 0, false};
}

} // namespace

TEST(SunburstLabelRule, RoomIsTheShorterOfChordAndArc) {
    // Past half a circle the chord stops growing: a full ring has the room of its diameter.
    EXPECT_DOUBLE_EQ(SunburstLabelRule::room(50, 2 * pi), 100 * 0.82);
    EXPECT_DOUBLE_EQ(SunburstLabelRule::room(50, pi), 100 * 0.82);
    EXPECT_DOUBLE_EQ(SunburstLabelRule::room(50, 0.5), 100 * std::sin(0.25) * 0.82);
    // A 10-degree arc on ring 1 of a 300-point view is far below the 44 points a label needs.
    const SunburstGeometry small({300, 300}, 6, 6);
    const auto ring = small.ring(1);
    EXPECT_LT(SunburstLabelRule::room((ring.inner + ring.outer) / 2, 10 * pi / 180),
              SunburstLabelRule::minRoom);
}

TEST(SunburstLabelRule, TextBoxMustStayInsideItsArcAndRing) {
    // Ring 1 of a 600-point view: radius 294, about 79.4 to 129.8, mid radius about 104.6.
    const SunburstGeometry g({600, 600}, 6, 6);
    const auto ring1 = g.ring(1);
    const double mid = (ring1.inner + ring1.outer) / 2;
    const double narrowRoom = SunburstLabelRule::room(mid, 0.4);
    // Level text at three o'clock lies across the ring: the width whose padded box, 4 points
    // tall, reaches `gap` points short of the outer edge (and about as close to the inner one).
    const auto widthShortOfEdge = [&](double gap) {
        return 2 * (std::sqrt(std::pow(ring1.outer - gap, 2) - 4) - mid - 3);
    };
    struct Case {
        std::string what;
        SunburstSegment segment;
        double width;
        double height;
        bool placed;
    };
    const Case cases[] = {
        {"lower half", arc(pi / 2, 3 * pi / 2), 60, 14, true},
        {"whole circle, no edges to respect", arc(0, 2 * pi), 60, 14, true},
        {"whole circle, text taller than the ring", arc(0, 2 * pi), 60, 51, false},
        {"right half: level text crosses the ring's inner edge", arc(0, pi), 60, 14, false},
        {"corners within a point of the ring's edges", arc(0, pi), widthShortOfEdge(0.5), 2, false},
        {"corners a point and a half inside them", arc(0, pi), widthShortOfEdge(1.5), 2, true},
        {"taller than the ring, though the height lies along it", arc(0, pi), 10, 52, false},
        {"wider than the room", arc(pi - 0.2, pi + 0.2), narrowRoom + 0.5, 10, false},
        {"within the room but the inner corners leave the arc", arc(pi - 0.2, pi + 0.2), narrowRoom,
         10, false},
        {"narrower text fits the same arc", arc(pi - 0.2, pi + 0.2), 30, 10, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto box = SunburstLabelRule::place(g, ring1, c.segment, c.width, c.height);
        ASSERT_EQ(box.has_value(), c.placed);
        if (!box) continue;
        // Level, centred on the arc's middle at the ring's mid radius.
        const auto middle = g.point(mid, (c.segment.start + c.segment.end) / 2);
        EXPECT_NEAR(box->x + box->width / 2, middle.x, 1e-9);
        EXPECT_NEAR(box->y + box->height / 2, middle.y, 1e-9);
        EXPECT_EQ(box->width, c.width);
        EXPECT_EQ(box->height, c.height);
    }
}
