#include "sunburstkit/sunburst_layout.h"
#include "sunburstkit/tree_source.h"

#include <cmath>
#include <gtest/gtest.h>
#include <numbers>
#include <random>
#include <unordered_map>
#include <vector>

using namespace hollowmere;
using Kind = FileTree::Kind;

namespace {

constexpr int slotCount = 7;

FileTree::Node node(int32_t parent, Kind kind, uint64_t size) {
    FileTree::Node n{};
    n.size = size;
    n.parent = parent;
    n.kind = static_cast<uint8_t>(kind);
    return n;
}

void setChildren(std::vector<FileTree::Node>& nodes, size_t of, int32_t first, int32_t count) {
    nodes[of].firstChild = first;
    nodes[of].childCount = count;
}

// root: docs/ {a 1500, b 1500}, big.bin 6000, App.app/ {bin 3000}, empty/, twin 1000.
FileTree smallTree() {
    std::vector<FileTree::Node> nodes = {
        node(-1, Kind::folder, 0), // 0 root
        node(0, Kind::folder, 0),  // 1 docs
        node(0, Kind::file, 6000), // 2 big.bin
        node(0, Kind::package, 0), // 3 App.app
        node(0, Kind::folder, 0),  // 4 empty
        node(0, Kind::file, 1000), // 5 twin
        node(1, Kind::file, 1500), // 6 a
        node(1, Kind::file, 1500), // 7 b
        node(3, Kind::file, 3000), // 8 bin
    };
    setChildren(nodes, 0, 1, 5);
    setChildren(nodes, 1, 6, 2);
    setChildren(nodes, 3, 8, 1);
    FileTree tree("/t", std::move(nodes), {});
    tree.finish();
    return tree;
}

std::vector<int32_t> nodesOf(const std::vector<SunburstSegment>& segments) {
    std::vector<int32_t> nodes;
    for (const auto& s : segments)
        nodes.push_back(s.item().value_or(-1));
    return nodes;
}

// A finished tree in scanner order with skewed sizes, zero-sized files and empty folders.
FileTree randomTree(size_t target, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<FileTree::Node> nodes{node(-1, Kind::folder, 0)};
    for (size_t i = 0; i < nodes.size() && nodes.size() < target; ++i) {
        if (nodes[i].kind != static_cast<uint8_t>(Kind::folder)) continue;
        const auto count = static_cast<int32_t>(rng() % 40);
        setChildren(nodes, i, static_cast<int32_t>(nodes.size()), count);
        for (int32_t k = 0; k < count; ++k) {
            const bool folder = rng() % 4 == 0;
            const uint64_t size =
                folder || rng() % 5 == 0 ? 0 : (1ull << (rng() % 28)) + rng() % 4096;
            nodes.push_back(
                node(static_cast<int32_t>(i), folder ? Kind::folder : Kind::file, size));
        }
    }
    FileTree tree("/r", std::move(nodes), {});
    tree.finish();
    return tree;
}

} // namespace

TEST(TreeSource, ReadsTheTreeInDisplayOrder) {
    const FileTree tree = smallTree();
    const TreeSource source(tree);
    EXPECT_EQ(source.size(0), 13000u);
    EXPECT_EQ(source.childCount(0), 5);
    EXPECT_EQ(source.child(0, 0), 2);
    EXPECT_EQ(source.child(2, 0), 3); // docs and App.app tie at 3000: lower index first
    // Folders and packages open only when they have children.
    EXPECT_TRUE(source.isContainer(1));
    EXPECT_TRUE(source.isContainer(3));
    EXPECT_FALSE(source.isContainer(4));
    EXPECT_FALSE(source.isContainer(2));
}

TEST(TreeSource, LaysOutAFileTree) {
    const FileTree tree = smallTree();
    const SunburstLayout layout(0, TreeSource(tree), 6, SunburstLayout::standardMinAngle,
                                slotCount);
    const auto& ring1 = layout.rings()[0];
    EXPECT_EQ(nodesOf(ring1), (std::vector<int32_t>{2, 1, 3, 5})); // the empty folder has no arc
    EXPECT_EQ(ring1[1].isContainer, true);
    EXPECT_EQ(ring1[2].isContainer, true); // packages are opened in the map
    EXPECT_EQ(ring1[3].isContainer, false);
    EXPECT_EQ(ring1[3].end, ring1[3].start + 2 * std::numbers::pi * 1000 / 13000);
    EXPECT_EQ(nodesOf(layout.rings()[1]), (std::vector<int32_t>{6, 7, 8}));
    EXPECT_EQ(layout.slot(3), 2);
    EXPECT_EQ(layout.rings()[1][2].slot, 2);
    EXPECT_TRUE(layout.rings()[2].empty());

    const SunburstLayout focused(1, TreeSource(tree), 6, SunburstLayout::standardMinAngle,
                                 slotCount);
    EXPECT_EQ(focused.root(), 1);
    EXPECT_EQ(nodesOf(focused.rings()[0]), (std::vector<int32_t>{6, 7}));
    EXPECT_EQ(focused.rings()[0][1].end, 2 * std::numbers::pi);
}

// The structural promises of every layout, checked over random trees: arcs in order without
// overlap, children inside their parent, small-items arcs closing the parent exactly and
// accounting for everything the parent's visible children leave.
TEST(TreeSource, LayoutsOfRandomTreesKeepTheirInvariants) {
    constexpr double eps = 1e-9;
    constexpr double fullCircle = 2 * std::numbers::pi;
    for (uint32_t seed : {1u, 2u, 3u}) {
        const FileTree tree = randomTree(30000, seed);
        ASSERT_EQ(tree.verify(), std::nullopt);
        for (double minAngle : {SunburstLayout::standardMinAngle, 0.001}) {
            SCOPED_TRACE(testing::Message() << "seed " << seed << ", min angle " << minAngle);
            const SunburstLayout layout(0, TreeSource(tree), 6, minAngle, slotCount);
            ASSERT_FALSE(layout.isEmpty());

            std::unordered_map<int32_t, const SunburstSegment*> previous; // ring d - 1 by node
            for (int depth = 1; depth <= 6; ++depth) {
                std::unordered_map<int32_t, const SunburstSegment*> current;
                std::unordered_map<int32_t, std::pair<int32_t, uint64_t>> placed; // per parent
                double lastEnd = 0;
                for (const SunburstSegment& s : layout.rings()[size_t(depth - 1)]) {
                    ASSERT_EQ(s.depth, depth);
                    ASSERT_GE(s.start, lastEnd - eps);
                    ASSERT_GE(s.end, s.start);
                    ASSERT_LE(s.end, fullCircle + eps);
                    lastEnd = s.end;

                    int32_t parent = 0;
                    if (const auto item = s.item()) {
                        const NodeID id{*item};
                        parent = tree.parent(id)->index;
                        ASSERT_GE(s.end - s.start, minAngle - eps);
                        ASSERT_EQ(s.isContainer, tree.isContainer(id) && tree.childCount(id) > 0);
                        current[*item] = &s;
                        placed[parent].first += 1;
                        placed[parent].second += tree.size(id);
                    } else {
                        const auto& small = std::get<SunburstSegment::SmallItems>(s.content);
                        parent = small.parent;
                        const NodeID id{parent};
                        ASSERT_EQ(small.count, tree.childCount(id) - placed[parent].first);
                        ASSERT_EQ(small.size, tree.size(id) - placed[parent].second);
                        ASSERT_EQ(s.slot, std::nullopt);
                        ASSERT_FALSE(s.isContainer);
                        const double parentEnd = depth == 1 ? fullCircle : previous.at(parent)->end;
                        ASSERT_EQ(s.end, parentEnd); // exactly, not up to rounding
                    }
                    if (depth == 1) {
                        ASSERT_EQ(parent, 0);
                    } else {
                        const SunburstSegment* p = previous.at(parent);
                        ASSERT_GE(s.start, p->start - eps);
                        ASSERT_LE(s.end, p->end + eps);
                    }
                }
                previous = std::move(current);
            }
        }
    }
}
