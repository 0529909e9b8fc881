#include "list_source.h"
#include "sunburstkit/sunburst_geometry.h"
#include "sunburstkit/sunburst_layout.h"

#include <cmath>
#include <gtest/gtest.h>
#include <numbers>
#include <optional>
#include <string>
#include <vector>

using namespace hollowmere;
using hollowmere::test::ListSource;
using Point = SunburstGeometry::Point;

namespace {

constexpr double pi = std::numbers::pi;

// A 212-point square view: radius 100 and hole 27, both exact, centre (106, 106).
SunburstGeometry exactView() {
    return SunburstGeometry({212, 212}, 6, 6);
}

// Ring 1: a [0, π), b [π, 1.5π), then a gap; ring 2: a's children c [0, 0.6π), d [0.6π, π).
struct Fixture {
    ListSource source{100};
    int32_t a, b, c, d;
    SunburstLayout layout;

    Fixture()
        : a(source.add(0, 50))
        , b(source.add(0, 25))
        , c(source.add(a, 30))
        , d(source.add(a, 20))
        , layout(0, source, 6, SunburstLayout::standardMinAngle, 7) {}
};

std::optional<int32_t> hitNode(const std::optional<SunburstHit>& hit) {
    if (!hit || hit->isCenter()) return std::nullopt;
    return hit->segment()->item();
}

} // namespace

TEST(SunburstGeometry, RingsOfA400By300View) {
    const SunburstGeometry g({400, 300}, 6, 6);
    EXPECT_EQ(g.center(), (Point{200, 150}));
    EXPECT_EQ(g.radius(), 144);
    EXPECT_DOUBLE_EQ(g.holeRadius(), 38.88);
    EXPECT_DOUBLE_EQ(g.ring(1).inner, 38.88);
    EXPECT_NEAR(g.ring(1).outer, 63.596, 0.001);
    EXPECT_NEAR(g.ring(1).outer - g.ring(1).inner, 0.1716 * 144, 0.01);
    EXPECT_NEAR(g.ring(6).outer - g.ring(6).inner, 0.0808 * 144, 0.01);
    EXPECT_NEAR(g.ring(6).outer, 144, 1e-9);
    for (int d = 2; d <= 6; ++d) {
        SCOPED_TRACE(d);
        EXPECT_NEAR(g.ring(d).inner, g.ring(d - 1).outer, 1e-9);
        EXPECT_NEAR(g.ring(d).outer - g.ring(d).inner,
                    0.86 * (g.ring(d - 1).outer - g.ring(d - 1).inner), 1e-9);
    }
}

TEST(SunburstGeometry, DepthAtRingBoundaries) {
    const SunburstGeometry g = exactView();
    const double hole = g.holeRadius();
    const double outer1 = g.ring(1).outer;
    const double outer3 = g.ring(3).outer;
    struct Case {
        std::string name;
        double distance;
        std::optional<int> depth;
    };
    const std::vector<Case> cases = {
        {"centre", 0, std::nullopt},
        {"on the hole's edge", hole, std::nullopt},
        {"just past the hole", std::nextafter(hole, 200.0), 1},
        {"on ring 1's outer edge", outer1, 1},
        {"just past ring 1", std::nextafter(outer1, 200.0), 2},
        {"on ring 3's outer edge", outer3, 3},
        {"just inside the radius", g.radius() - 1e-9, 6},
        {"just beyond the radius", std::nextafter(g.radius(), 200.0), std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(g.depth(c.distance), c.depth);
    }
}

TEST(SunburstGeometry, AnglesRunClockwiseFromTwelve) {
    const SunburstGeometry g = exactView();
    const double below12 = std::nextafter(106.0, 0.0); // a hair left of the upward vertical
    struct Case {
        std::string name;
        Point point;
        double angle;
    };
    const std::vector<Case> cases = {
        {"straight above", {106, 50}, 0},
        {"straight right", {150, 106}, pi / 2},
        {"straight below", {106, 150}, pi},
        {"straight left", {50, 106}, 3 * pi / 2},
        {"a hair right of twelve", {std::nextafter(106.0, 200.0), 70}, 0},
        // atan2 gives -4e-16, and adding 2π rounds to exactly 2π: wrapped to 0.
        {"a hair left of twelve", {below12, 71}, 0},
        {"clearly left of twelve", {105.999, 6}, 2 * pi - 1e-5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const double angle = g.angle(c.point);
        EXPECT_GE(angle, 0);
        EXPECT_LT(angle, 2 * pi);
        EXPECT_NEAR(angle, c.angle, 1e-12);
    }
    // point() is the inverse.
    for (double angle : {0.0, 0.3, pi / 2, 2.5, pi, 4.0, 3 * pi / 2, 6.2}) {
        SCOPED_TRACE(angle);
        const Point p = g.point(40, angle);
        EXPECT_NEAR(g.angle(p), angle, 1e-12);
        EXPECT_NEAR(std::hypot(p.x - 106, p.y - 106), 40, 1e-12);
    }
}

TEST(SunburstGeometry, OutlineChordsAreAtMostAFortiethOfARadian) {
    const SunburstGeometry g = exactView();
    struct Case {
        double start, end;
        int steps;
    };
    for (const Case& c :
         std::vector<Case>{{1, 1.01, 2}, {0, 2 * pi, 252}, {0.5, 0.6, 4}, {2, 2, 2}}) {
        SCOPED_TRACE(testing::Message() << c.start << " to " << c.end);
        SunburstSegment segment;
        segment.start = c.start;
        segment.end = c.end;
        const auto outline = g.outline(segment, 30, 40);
        ASSERT_EQ(outline.steps, c.steps);
        ASSERT_EQ(outline.pointCount(), 2 * c.steps + 2);
        // Outer edge forwards, inner edge backwards.
        EXPECT_EQ(outline.pointAt(0), g.point(40, c.start));
        EXPECT_EQ(outline.pointAt(c.steps), g.point(40, c.end));
        EXPECT_EQ(outline.pointAt(c.steps + 1), g.point(30, c.end));
        EXPECT_EQ(outline.pointAt(outline.pointCount() - 1), g.point(30, c.start));
        for (int i = 1; i < outline.pointCount(); ++i) {
            if (i == c.steps + 1) continue; // the radial side
            const Point p = outline.pointAt(i - 1), q = outline.pointAt(i);
            const double r = i <= c.steps ? 40 : 30;
            EXPECT_LE(std::hypot(p.x - q.x, p.y - q.y), 2 * r * std::sin(0.025 / 2) + 1e-9);
        }
    }
}

TEST(SunburstHit, FindsTheArcUnderAPoint) {
    const Fixture f;
    const SunburstGeometry g = exactView();
    const double ring1 = (g.ring(1).inner + g.ring(1).outer) / 2;
    const double ring2 = (g.ring(2).inner + g.ring(2).outer) / 2;
    const double ring3 = (g.ring(3).inner + g.ring(3).outer) / 2;
    struct Case {
        std::string name;
        Point point;
        std::optional<int32_t> node; // absent: no arc
        bool center = false;
    };
    const std::vector<Case> cases = {
        {"centre", {106, 106}, std::nullopt, true},
        {"on the hole's edge", {106, 106 - 27}, std::nullopt, true},
        {"just past the hole", {106, std::nextafter(79.0, 0.0)}, f.a},
        {"ring 1 at three o'clock", g.point(ring1, pi / 2), f.a},
        {"boundary of a and b goes to the later arc", {106, 106 + ring1}, f.b},
        {"ring 1 gap after the last child", g.point(ring1, 1.75 * pi), std::nullopt},
        {"ring 2 inside a", g.point(ring2, 0.1), f.c},
        {"ring 2 inside d", g.point(ring2, 0.8 * pi), f.d},
        {"ring 2 over b, which has no children", g.point(ring2, 1.2 * pi), std::nullopt},
        {"ring 3, empty", g.point(ring3, 0.1), std::nullopt},
        {"beyond the radius", {106, 106 - 100.5}, std::nullopt},
        {"a hair left of twelve wraps to the first arc", {std::nextafter(106.0, 0.0), 71}, f.a},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto hit = f.layout.hit(c.point, g);
        if (c.center) {
            ASSERT_TRUE(hit && hit->isCenter());
        } else if (c.node) {
            ASSERT_EQ(hitNode(hit), c.node);
        } else {
            EXPECT_EQ(hit, std::nullopt);
        }
    }
}

TEST(SunburstHit, LastArcReachesAllTheWayToTwelve) {
    ListSource source(100);
    const auto kids = source.add(0, {50, 50});
    const SunburstLayout layout(0, source, 6, SunburstLayout::standardMinAngle, 7);
    const SunburstGeometry g = exactView();
    const double ring1 = (g.ring(1).inner + g.ring(1).outer) / 2;
    EXPECT_EQ(hitNode(layout.hit(g.point(ring1, 2 * pi - 1e-9), g)), kids[1]);
    EXPECT_EQ(hitNode(layout.hit(g.point(ring1, 0), g)), kids[0]);
}

TEST(SunburstHit, ViewSmallerThanItsMarginsHasOnlyACentre) {
    const Fixture f;
    const SunburstGeometry g({10, 10}, 6, 6);
    EXPECT_EQ(g.radius(), 0);
    EXPECT_EQ(g.holeRadius(), 0);
    const auto atCenter = f.layout.hit({5, 5}, g);
    EXPECT_TRUE(atCenter && atCenter->isCenter());
    EXPECT_EQ(f.layout.hit({5, 4}, g), std::nullopt);
    EXPECT_EQ(f.layout.hit({9, 9}, g), std::nullopt);
}

TEST(SunburstHit, EmptyLayoutHasOnlyACentre) {
    const SunburstLayout layout = SunburstLayout::empty();
    const SunburstGeometry g = exactView();
    EXPECT_TRUE(layout.hit({106, 100}, g)->isCenter());
    EXPECT_EQ(layout.hit({106, 50}, g), std::nullopt);
}
