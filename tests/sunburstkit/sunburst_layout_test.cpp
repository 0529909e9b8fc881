#include "list_source.h"
#include "sunburstkit/sunburst_layout.h"

#include <cmath>
#include <gtest/gtest.h>
#include <numbers>
#include <optional>
#include <string>
#include <vector>

using namespace hollowmere;
using hollowmere::test::ListSource;

namespace {

constexpr double fullCircle = 2 * std::numbers::pi;
constexpr double minAngle = SunburstLayout::standardMinAngle;
constexpr int maxDepth = SunburstLayout::standardMaxDepth;
constexpr int slotCount = 7;

SunburstLayout layoutOf(const ListSource& source, double minimum = minAngle, int depth = maxDepth) {
    return SunburstLayout(0, source, depth, minimum, slotCount);
}

const std::vector<SunburstSegment>& ring(const SunburstLayout& layout, int depth) {
    return layout.rings().at(static_cast<size_t>(depth - 1));
}

// The node of each arc, -1 for a small-items arc.
std::vector<int32_t> nodesOf(const std::vector<SunburstSegment>& segments) {
    std::vector<int32_t> nodes;
    for (const auto& s : segments)
        nodes.push_back(s.item().value_or(-1));
    return nodes;
}

std::vector<std::optional<int>> slotsOf(const std::vector<SunburstSegment>& segments) {
    std::vector<std::optional<int>> slots;
    for (const auto& s : segments)
        slots.push_back(s.slot);
    return slots;
}

using Slots = std::vector<std::optional<int>>;
constexpr std::nullopt_t none = std::nullopt;

} // namespace

TEST(SunburstLayout, NothingToShowGivesTheEmptyLayout) {
    ListSource zeroRoot(0);
    zeroRoot.add(0, {0, 0});
    ListSource childless(500);

    for (const ListSource* source : {&zeroRoot, &childless}) {
        const SunburstLayout layout = layoutOf(*source);
        EXPECT_TRUE(layout.isEmpty());
        EXPECT_EQ(layout.rings().size(), 6u);
        EXPECT_TRUE(layout.slots().empty());
        EXPECT_EQ(layout, SunburstLayout::empty());
    }
    EXPECT_EQ(SunburstLayout::empty().root(), 0);
    EXPECT_EQ(SunburstLayout::empty().maxDepth(), 6);
}

TEST(SunburstLayout, SingleVisibleChildTakesSlotZeroAndItsChildrenSplitAfresh) {
    // root -> a (one child) -> four visible children; the second of them has two children.
    ListSource source(100);
    const int32_t a = source.add(0, 100);
    const auto kids = source.add(a, {40, 30, 20, 10});
    const auto grandkids = source.add(kids[1], {20, 10});

    const SunburstLayout layout = layoutOf(source);
    EXPECT_EQ(nodesOf(ring(layout, 1)), std::vector<int32_t>{a});
    EXPECT_EQ(slotsOf(ring(layout, 1)), Slots{0});
    EXPECT_EQ(slotsOf(ring(layout, 2)), (Slots{0, 1, 2, 3}));
    EXPECT_EQ(nodesOf(ring(layout, 3)), grandkids);
    EXPECT_EQ(slotsOf(ring(layout, 3)), (Slots{1, 1})); // inherited below the split
    EXPECT_EQ(layout.slots(), (std::vector<SunburstLayout::SlotEntry>{{a, 0}}));
    EXPECT_EQ(layout.slot(a), 0);
    EXPECT_EQ(layout.slot(kids[0]), none); // only ring 1 enters `slots`
}

TEST(SunburstLayout, SecondChildTooNarrowToSeeDoesNotSplitTheColours) {
    // b is 2/1001 of the circle, 0.01255 rad: hidden, but wide enough for a small-items arc.
    ListSource source(1001);
    const int32_t a = source.add(0, 999);
    source.add(0, 2);
    source.add(a, {500, 499});

    const SunburstLayout layout = layoutOf(source);
    ASSERT_EQ(ring(layout, 1).size(), 2u);
    EXPECT_EQ(ring(layout, 1)[0].slot, 0);
    const SunburstSegment& rest = ring(layout, 1)[1];
    EXPECT_EQ(rest.content, (SunburstSegment::Content{SunburstSegment::SmallItems{0, 1, 2}}));
    EXPECT_EQ(rest.slot, none);
    EXPECT_FALSE(rest.isContainer);
    EXPECT_EQ(rest.end, fullCircle);
    EXPECT_EQ(slotsOf(ring(layout, 2)), (Slots{0, 1})); // a's level is the first to split
}

TEST(SunburstLayout, TenChildrenTakeSevenSlotsAndDescendantsInheritEvenAbsence) {
    ListSource source(100);
    const auto kids = source.add(0, {10, 10, 10, 10, 10, 10, 10, 10, 10, 10});
    const auto underThird = source.add(kids[2], {6, 4});
    source.add(underThird[0], {3, 3});
    source.add(kids[8], {5, 5});

    const SunburstLayout layout = layoutOf(source);
    EXPECT_EQ(nodesOf(ring(layout, 1)), kids); // equal sizes keep the source's order
    EXPECT_EQ(slotsOf(ring(layout, 1)), (Slots{0, 1, 2, 3, 4, 5, 6, none, none, none}));
    EXPECT_EQ(slotsOf(ring(layout, 2)), (Slots{2, 2, none, none}));
    EXPECT_EQ(slotsOf(ring(layout, 3)), (Slots{2, 2}));
    ASSERT_EQ(layout.slots().size(), 7u);
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(layout.slot(kids[static_cast<size_t>(i)]), i);
    EXPECT_EQ(layout.slot(kids[7]), none);
}

TEST(SunburstLayout, ThousandEqualChildrenBecomeOneSmallItemsArcWithoutReadingThemAll) {
    ListSource source(1000);
    for (int i = 0; i < 1000; ++i)
        source.add(0, 1);

    const SunburstLayout layout = layoutOf(source);
    ASSERT_EQ(ring(layout, 1).size(), 1u);
    const SunburstSegment& rest = ring(layout, 1)[0];
    EXPECT_EQ(rest.content, (SunburstSegment::Content{SunburstSegment::SmallItems{0, 1000, 1000}}));
    EXPECT_EQ(rest.depth, 1);
    EXPECT_EQ(rest.start, 0.0);
    EXPECT_EQ(rest.end, fullCircle);
    EXPECT_EQ(rest.item(), none);
    EXPECT_TRUE(layout.slots().empty());
    EXPECT_LE(source.childReads, 2); // the first child, and the second for the split test
}

TEST(SunburstLayout, ChildrenThatAllFitLeaveAGapInsteadOfSmallItems) {
    ListSource source(100);
    source.add(0, {50, 30});
    const SunburstLayout layout = layoutOf(source);
    ASSERT_EQ(ring(layout, 1).size(), 2u);
    EXPECT_DOUBLE_EQ(ring(layout, 1)[1].end, fullCircle * 0.8);
}

TEST(SunburstLayout, NarrowestArcAndSmallItemsThresholds) {
    // Children 900, 90, 10 of 1000: the last is exactly `tenth` wide.
    const double tenth = fullCircle * 10.0 / 1000.0;
    const double ninetieth = fullCircle * 90.0 / 1000.0;
    struct Case {
        std::string name;
        double minAngle;
        std::vector<int32_t> ring1; // -1 for the small-items arc
    };
    const std::vector<Case> cases = {
        {"last child exactly the minimum is placed", tenth, {1, 2, 3}},
        {"remainder of exactly half the minimum is drawn", 2 * tenth, {1, 2, -1}},
        {"remainder just under half is not", std::nextafter(2 * tenth, 1.0), {1, 2}},
        {"second child exactly the minimum is placed", ninetieth, {1, 2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ListSource source(1000);
        source.add(0, {900, 90, 10});
        const SunburstLayout layout = layoutOf(source, c.minAngle);
        EXPECT_EQ(nodesOf(ring(layout, 1)), c.ring1);
        if (c.ring1.back() == -1) {
            EXPECT_EQ(ring(layout, 1).back().content,
                      (SunburstSegment::Content{SunburstSegment::SmallItems{0, 1, 10}}));
        }
    }
}

TEST(SunburstLayout, NothingIsPlacedBeyondTheLastRing) {
    // A chain of eight nested folders, each holding the next.
    ListSource source(1);
    std::vector<int32_t> chain;
    int32_t parent = 0;
    for (int i = 0; i < 8; ++i)
        chain.push_back(parent = source.add(parent, 1));

    for (int depth : {6, 2, 0}) {
        SCOPED_TRACE(depth);
        const SunburstLayout layout = layoutOf(source, minAngle, depth);
        ASSERT_EQ(layout.rings().size(), static_cast<size_t>(depth));
        EXPECT_EQ(layout.maxDepth(), depth);
        for (int d = 1; d <= depth; ++d) {
            EXPECT_EQ(nodesOf(ring(layout, d)), std::vector<int32_t>{chain[size_t(d - 1)]});
        }
        // The deepest folder is drawn and keeps its container flag; its children are not.
        if (depth > 0) {
            EXPECT_TRUE(ring(layout, depth)[0].isContainer);
        }
    }
}
