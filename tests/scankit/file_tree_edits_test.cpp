#include "scankit/file_tree.h"
#include "support/tree_builder.h"

#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <random>
#include <set>
#include <span>
#include <sstream>
#include <string>
#include <vector>

using namespace hollowmere;
using hollowmere::test::TreeBuilder;
using Kind = FileTree::Kind;
using Flags = FileTree::Flags;

namespace {

std::vector<std::string> names(const FileTree& tree, const std::vector<NodeID>& ids) {
    std::vector<std::string> out;
    for (NodeID id : ids)
        out.push_back(tree.name(id));
    return out;
}

std::vector<std::string> childNames(const FileTree& tree, NodeID id) {
    return names(tree, tree.children(id));
}

// The names in the order positions of a node's whole run: live children, then the removed tail.
std::vector<std::string> runNames(const FileTree& tree, NodeID id, int32_t length) {
    std::vector<std::string> out;
    const int32_t first = tree.node(id).firstChild;
    for (int32_t k = first; k < first + length; ++k)
        out.push_back(tree.name(NodeID{tree.order()[static_cast<size_t>(k)]}));
    return out;
}

Date at(int64_t seconds) {
    return Date(std::chrono::seconds(seconds));
}

// /Users/ann
//   Documents (1)             notes.txt (2, 5 bytes)
//     p (3)
//       a (4, 60)  b (5, folder)  c (6, 10)  r (7, restricted)
//                    b1 (8, 20)  b2 (9, 10)
struct Sample {
    FileTree tree;
    NodeID documents{1}, notes{2}, p{3}, a{4}, b{5}, c{6}, r{7}, b1{8}, b2{9};

    Sample()
        : tree(make()) {
        tree.setScannedAt(at(1'000));
    }

    static FileTree make() {
        TreeBuilder t("/Users/ann", "ann");
        t.add(0, {{"Documents", Kind::folder}, {"notes.txt", Kind::file, 5}});
        t.add(1, {{"p", Kind::folder}});
        t.add(3, {{"a", Kind::file, 60},
                  {"b", Kind::folder},
                  {"c", Kind::file, 10},
                  {"r", Kind::folder, 0, Flags::restricted}});
        t.add(5, {{"b1", Kind::file, 20}, {"b2", Kind::file, 10}});
        return t.build();
    }
};

// A rescan of /Users/ann/Documents/p: new (100), sub/deep (7, dataless), locked (restricted).
FileTree rescanOfP(std::string rootPath = "/Users/ann/Documents/p") {
    TreeBuilder t(std::move(rootPath), "p");
    const int32_t first = t.add(0, {{"new", Kind::file, 100},
                                    {"sub", Kind::folder},
                                    {"locked", Kind::folder, 0, Flags::restricted}});
    t.add(first + 1, {{"deep", Kind::file, 7, Flags::dataless}});
    FileTree tree = t.build();
    tree.setScannedAt(at(2'000));
    return tree;
}

} // namespace

TEST(FileTreeEdits, RemoveTakesTheSubtreeOutAndRestorePutsItBack) {
    Sample s;
    const FileTree original = s.tree;
    FileTree& tree = s.tree;
    ASSERT_EQ(childNames(tree, s.p), (std::vector<std::string>{"a", "b", "c", "r"}));

    tree.remove(s.b);
    EXPECT_EQ(childNames(tree, s.p), (std::vector<std::string>{"a", "c", "r"}));
    EXPECT_EQ(runNames(tree, s.p, 4), (std::vector<std::string>{"a", "c", "r", "b"}));
    EXPECT_FALSE(tree.isLive(s.b));
    EXPECT_FALSE(tree.isLive(s.b1));
    EXPECT_EQ(tree.size(s.b), 30u) << "a removed node keeps its own sums for a restore";
    EXPECT_EQ(tree.itemCount(s.b), 2u);
    for (NodeID ancestor : {s.p, s.documents, FileTree::root()}) {
        EXPECT_EQ(tree.size(ancestor), original.size(ancestor) - 30) << ancestor.index;
        EXPECT_EQ(tree.itemCount(ancestor), original.itemCount(ancestor) - 3) << ancestor.index;
    }
    EXPECT_EQ(tree.verify(), std::nullopt);

    // Neither a second removal nor removing the root changes anything.
    const FileTree afterRemove = tree;
    tree.remove(s.b);
    tree.remove(FileTree::root());
    tree.remove(NodeID{-1});
    tree.remove(NodeID{tree.count()});
    EXPECT_TRUE(tree == afterRemove);

    EXPECT_TRUE(tree.restore(s.b));
    EXPECT_TRUE(tree == original);
}

TEST(FileTreeEdits, RemovedTailListsTheMostRecentFirst) {
    Sample s;
    const FileTree original = s.tree;
    FileTree& tree = s.tree;
    tree.remove(s.b);
    tree.remove(s.a);
    EXPECT_EQ(runNames(tree, s.p, 4), (std::vector<std::string>{"c", "r", "a", "b"}));
    EXPECT_EQ(tree.size(s.p), 10u);
    EXPECT_EQ(tree.verify(), std::nullopt);

    // b is found behind a, the later removal.
    EXPECT_TRUE(tree.restore(s.b));
    EXPECT_EQ(childNames(tree, s.p), (std::vector<std::string>{"b", "c", "r"}));
    EXPECT_EQ(tree.verify(), std::nullopt);
    EXPECT_TRUE(tree.restore(s.a));
    EXPECT_TRUE(tree == original);
}

TEST(FileTreeEdits, RestoreRefusesWhatItCannotPutBack) {
    struct Case {
        const char* what;
        std::vector<int32_t> removals; // by index into the sample
        int32_t restored;
    };
    const Case cases[] = {
        {"a live node", {}, 4},
        {"the root", {}, 0},
        {"an index before the first node", {}, -1},
        {"an index past the last node", {}, 10},
        {"a node whose parent is removed", {8, 5}, 8},
        {"a node whose grandparent is removed", {8, 3}, 8},
    };
    for (const Case& c : cases) {
        Sample s;
        for (int32_t index : c.removals)
            s.tree.remove(NodeID{index});
        const FileTree before = s.tree;
        EXPECT_FALSE(s.tree.restore(NodeID{c.restored})) << c.what;
        EXPECT_TRUE(s.tree == before) << c.what;
    }
}

TEST(FileTreeEdits, EqualSizesNeverPassEachOther) {
    // Children of p: A (10), B (folder of f 6 + g 4 = 10), C (10), D (4), in that display order.
    TreeBuilder t("/v");
    t.add(0, {{"p", Kind::folder}});
    t.add(
        1,
        {{"A", Kind::file, 10}, {"B", Kind::folder}, {"C", Kind::file, 10}, {"D", Kind::file, 4}});
    t.add(3, {{"f", Kind::file, 6}, {"g", Kind::file, 4}});
    FileTree tree = t.build();
    const NodeID p{1}, f{6}, g{7};
    ASSERT_EQ(childNames(tree, p), (std::vector<std::string>{"A", "B", "C", "D"}));

    const std::pair<std::function<void()>, std::vector<std::string>> steps[] = {
        {[&] { tree.remove(g); }, {"A", "C", "B", "D"}},               // B (6) passes C, not D
        {[&] { tree.remove(f); }, {"A", "C", "D", "B"}},               // B (0) passes D too
        {[&] { EXPECT_TRUE(tree.restore(f)); }, {"A", "C", "B", "D"}}, // B (6) passes D back
        {[&] { EXPECT_TRUE(tree.restore(g)); }, {"A", "C", "B", "D"}}, // B (10) stays behind C
    };
    for (size_t i = 0; i < std::size(steps); ++i) {
        steps[i].first();
        EXPECT_EQ(childNames(tree, p), steps[i].second) << "step " << i;
        EXPECT_EQ(tree.verify(), std::nullopt) << "step " << i;
    }
}

TEST(FileTreeEdits, GraftReplacesTheFolderContents) {
    Sample s;
    const FileTree original = s.tree;
    FileTree& tree = s.tree;
    const FileTree fresh = rescanOfP();

    // A tree of another folder is refused and changes nothing.
    EXPECT_FALSE(tree.graft(rescanOfP("/Users/ann/Documents/q"), s.p, true));
    EXPECT_FALSE(tree.graft(rescanOfP("/Users/ann/Documents/p/"), s.p, true));
    EXPECT_FALSE(tree.graft(fresh, NodeID{tree.count()}, true));
    EXPECT_TRUE(tree == original);

    ASSERT_TRUE(tree.graft(fresh, s.p, true));
    EXPECT_EQ(tree.verify(), std::nullopt);
    EXPECT_EQ(tree.count(), original.count() + fresh.count() - 1);
    for (NodeID old : {s.a, s.b, s.b1, s.c, s.r})
        EXPECT_FALSE(tree.isLive(old)) << old.index;
    EXPECT_EQ(childNames(tree, s.p), (std::vector<std::string>{"new", "sub", "locked"}));
    const NodeID sub = tree.child(1, s.p), deep = tree.child(0, sub), locked = tree.child(2, s.p);
    EXPECT_EQ(tree.path(deep), "/Users/ann/Documents/p/sub/deep");

    // Sizes and counts: p takes the new tree's, its ancestors change by the difference.
    EXPECT_EQ(tree.size(s.p), 107u);
    EXPECT_EQ(tree.itemCount(s.p), 4u);
    for (NodeID ancestor : {s.documents, FileTree::root()}) {
        EXPECT_EQ(tree.size(ancestor), original.size(ancestor) - 100 + 107) << ancestor.index;
        EXPECT_EQ(tree.itemCount(ancestor), original.itemCount(ancestor) - 6 + 4) << ancestor.index;
    }

    // The dataless file below marks every ancestor of p.
    for (NodeID n : {sub, s.p, s.documents, FileTree::root()}) {
        EXPECT_TRUE(contains(tree.flags(n), Flags::containsDataless)) << n.index;
    }
    EXPECT_EQ(tree.restrictedFolders(), std::vector<NodeID>{locked});

    EXPECT_EQ(tree.scannedSince(deep), at(2'000));
    EXPECT_EQ(tree.scannedSince(s.p), at(2'000));
    EXPECT_EQ(tree.scannedSince(s.notes), at(1'000));

    EXPECT_TRUE(tree.isReadAsAdministrator(deep));
    EXPECT_TRUE(tree.isReadAsAdministrator(s.p));
    EXPECT_FALSE(tree.isReadAsAdministrator(s.documents));

    // The old children stay out for good.
    for (NodeID old : {s.a, s.b, s.c})
        EXPECT_FALSE(tree.restore(old)) << old.index;
}

TEST(FileTreeEdits, GraftAtTheRootUpdatesNoAncestor) {
    Sample s;
    FileTree fresh = rescanOfP("/Users/ann");
    ASSERT_TRUE(s.tree.graft(fresh, FileTree::root(), false));
    EXPECT_EQ(s.tree.verify(), std::nullopt);
    EXPECT_EQ(childNames(s.tree, FileTree::root()),
              (std::vector<std::string>{"new", "sub", "locked"}));
    EXPECT_EQ(s.tree.size(FileTree::root()), 107u);
    EXPECT_EQ(s.tree.itemCount(FileTree::root()), 4u);
    EXPECT_EQ(s.tree.name(FileTree::root()), "ann");
    EXPECT_EQ(s.tree.scannedSince(s.notes), at(2'000)) << "the root's rescan covers the whole tree";
    EXPECT_FALSE(s.tree.isLive(s.notes));
}

TEST(FileTreeEdits, GraftOntoARestrictedFolderReadByTheHelper) {
    TreeBuilder t("/home");
    t.add(0, {{"ann", Kind::folder}, {"bob", Kind::folder, 0, Flags::restricted}});
    t.add(1, {{"a.txt", Kind::file, 50}});
    FileTree tree = t.build();
    const NodeID bob{2};

    TreeBuilder h("/home/bob", "bob");
    h.add(0, {{"big.iso", Kind::file, 900}, {"x", Kind::file, 1}});
    FileTree helperTree = h.build();
    helperTree.markRootReadAsAdministrator();

    ASSERT_TRUE(tree.graft(helperTree, bob, true));
    EXPECT_EQ(tree.verify(), std::nullopt);
    EXPECT_FALSE(contains(tree.flags(bob), Flags::restricted));
    EXPECT_TRUE(tree.restrictedFolders().empty());
    EXPECT_EQ(childNames(tree, FileTree::root()), (std::vector<std::string>{"bob", "ann"}));
    EXPECT_EQ(tree.size(FileTree::root()), 951u);
    EXPECT_EQ(tree.itemCount(FileTree::root()), 5u);
    for (NodeID n : tree.children(bob))
        EXPECT_TRUE(tree.isReadAsAdministrator(n)) << n.index;
    EXPECT_FALSE(tree.isReadAsAdministrator(NodeID{3}));
}

TEST(FileTreeEdits, ReplaceKeepsTheFolderOwnFlagsAndTakesTheScanFlags) {
    const auto raw = [](Flags f) { return static_cast<uint8_t>(f); };
    struct Case {
        Flags before;
        Flags freshRoot;
        bool admin;
        Flags after;
    };
    const Case cases[] = {
        {Flags::mountPoint | Flags::hardLink | Flags::otherNames | Flags::readAsAdministrator,
         Flags::none, false, Flags::mountPoint | Flags::hardLink | Flags::otherNames},
        {Flags::restricted | Flags::dataless | Flags::containsDataless, Flags::none, true,
         Flags::readAsAdministrator},
        {Flags::none, Flags::restricted | Flags::readAsAdministrator, false, Flags::restricted},
        {Flags::none, Flags::dataless, false, Flags::dataless},
    };
    for (const Case& c : cases) {
        TreeBuilder t("/v");
        t.add(0, {{"f", Kind::folder, 0, c.before}});
        FileTree tree = t.build();
        TreeBuilder fresh("/v/f");
        fresh.setFlags(0, c.freshRoot);
        tree.replaceContents(NodeID{1}, fresh.build(), c.admin);
        EXPECT_EQ(raw(tree.flags(NodeID{1})), raw(c.after))
            << int(raw(c.before)) << " " << int(raw(c.freshRoot));
    }
}

TEST(FileTreeEdits, ReplaceCarriesTheNewTreeRescanDates) {
    Sample s;
    // The new tree had a rescan of its own below its root, and one of its root.
    FileTree fresh = rescanOfP();
    TreeBuilder inner("/Users/ann/Documents/p/sub", "sub");
    inner.add(0, {{"later", Kind::file, 3}});
    FileTree innerTree = inner.build();
    innerTree.setScannedAt(at(3'000));
    fresh.replaceContents(NodeID{2}, innerTree, false);
    FileTree rootRescan = TreeBuilder("/Users/ann/Documents/p").build();
    rootRescan.setScannedAt(at(4'000));
    ASSERT_EQ(fresh.rescannedAt().size(), 1u);

    s.tree.replaceContents(s.p, fresh, false);
    EXPECT_EQ(s.tree.verify(), std::nullopt);
    const NodeID sub = s.tree.child(1, s.p);
    ASSERT_EQ(s.tree.name(sub), "sub");
    EXPECT_EQ(s.tree.scannedSince(s.tree.child(0, sub)), at(3'000));
    EXPECT_EQ(s.tree.scannedSince(s.tree.child(0, s.p)), at(2'000));

    // A date the new tree kept for its own root is not carried: the replaced folder gets the
    // new tree's scan date.
    FileTree withRootDate = TreeBuilder("/Users/ann/Documents/p").build();
    withRootDate.setScannedAt(at(5'000));
    withRootDate.replaceContents(FileTree::root(), rootRescan, false);
    const NodeID last{s.tree.count() - 1};
    const Date lastBefore = s.tree.scannedSince(last);
    s.tree.replaceContents(s.p, withRootDate, false);
    EXPECT_EQ(s.tree.scannedSince(s.p), at(5'000));
    EXPECT_EQ(s.tree.scannedSince(last), lastBefore);
}

TEST(FileTreeEdits, ReplaceByAnEmptyFolderLeavesNoWayBackForTheOldChildren) {
    // f's children are the last run of the tree, so the last position of `order` holds one of
    // them: d, removed before the rescan found f empty.
    TreeBuilder t("/v");
    t.add(0, {{"g", Kind::file, 1}, {"f", Kind::folder}});
    t.add(2, {{"c", Kind::file, 4}, {"d", Kind::file, 2}});
    FileTree tree = t.build();
    const NodeID f{2}, c{3}, d{4};
    tree.remove(d);
    ASSERT_EQ(tree.order().back(), d.index);

    tree.replaceContents(f, TreeBuilder("/v/f", "f").build(), false);
    EXPECT_EQ(tree.verify(), std::nullopt);
    EXPECT_EQ(tree.childCount(f), 0);
    EXPECT_EQ(tree.size(f), 0u);
    EXPECT_EQ(tree.size(FileTree::root()), 1u);
    for (NodeID old : {d, c}) {
        EXPECT_FALSE(tree.restore(old)) << old.index;
        EXPECT_EQ(tree.verify(), std::nullopt);
    }
    EXPECT_EQ(tree.childCount(f), 0);
}

TEST(FileTreeEdits, ReplaceBelowARemovedFolderStopsAtIt) {
    // A removed folder's parent does not count it, so its rescan must not reach the parent.
    Sample s;
    FileTree& tree = s.tree;
    tree.remove(s.p);
    const FileTree removed = tree;
    TreeBuilder t("/Users/ann/Documents/p/b", "b");
    t.add(0, {{"huge", Kind::file, 1000}});
    tree.replaceContents(s.b, t.build(), false);
    EXPECT_EQ(tree.verify(), std::nullopt);
    EXPECT_EQ(tree.size(s.documents), removed.size(s.documents));
    EXPECT_EQ(tree.size(FileTree::root()), removed.size(FileTree::root()));
    EXPECT_EQ(tree.size(s.p), 1070u);

    ASSERT_TRUE(tree.restore(s.p));
    EXPECT_EQ(tree.verify(), std::nullopt);
    EXPECT_EQ(tree.size(FileTree::root()), 1075u);

    // A removed folder replaced itself gets its new size on restore, not before.
    tree.remove(s.b);
    const uint64_t rootWithout = tree.size(FileTree::root());
    tree.replaceContents(s.b, rescanOfP("/Users/ann/Documents/p/b"), false);
    EXPECT_EQ(tree.size(FileTree::root()), rootWithout);
    ASSERT_TRUE(tree.restore(s.b));
    EXPECT_EQ(tree.size(FileTree::root()), rootWithout + 107);
    EXPECT_EQ(tree.verify(), std::nullopt);
}

TEST(FileTreeEdits, ReplaceWithItselfReadsACopy) {
    Sample s;
    const FileTree original = s.tree;
    s.tree.replaceContents(s.b, s.tree, false);
    EXPECT_EQ(s.tree.verify(), std::nullopt);
    EXPECT_EQ(s.tree.count(), 2 * original.count() - 1);
    EXPECT_EQ(s.tree.size(s.b), original.size(FileTree::root()));
}

TEST(FileTreeEdits, RepeatedGraftsGrowTheArraysGeometrically) {
    TreeBuilder t("/v");
    t.add(0, {{"f", Kind::folder}});
    FileTree tree = t.build();
    TreeBuilder small("/v/f", "f");
    small.add(0, {{"x", Kind::file, 1}, {"y", Kind::file, 2}});
    const FileTree fresh = small.build();

    int moves = 0;
    const void* nodes = tree.nodes().data();
    const void* order = tree.order().data();
    const void* nameBytes = tree.names().data();
    for (int i = 0; i < 2000; ++i) {
        tree.replaceContents(NodeID{1}, fresh, false);
        moves += (tree.nodes().data() != nodes) + (tree.order().data() != order) +
                 (tree.names().data() != nameBytes);
        nodes = tree.nodes().data();
        order = tree.order().data();
        nameBytes = tree.names().data();
    }
    EXPECT_EQ(tree.count(), 2 + 2 * 2000);
    // Growth by half each time: about log(2000) / log(1.5) = 19 moves per array.
    EXPECT_LT(moves, 3 * 25);
    EXPECT_EQ(tree.verify(), std::nullopt);
}

TEST(FileTreeEdits, VerifyChecksWhatARestoreReliesOn) {
    // Below p: b's children both removed (b's run is all tail), then p itself removed.
    Sample s;
    s.tree.remove(s.b1);
    s.tree.remove(s.b2);
    s.tree.remove(s.p);
    const FileTree& good = s.tree;
    ASSERT_EQ(good.verify(), std::nullopt);

    using Nodes = std::vector<FileTree::Node>;
    using Order = std::vector<int32_t>;
    const auto index = [](NodeID id) { return static_cast<size_t>(id.index); };
    const std::pair<const char*, std::function<void(Nodes&, Order&)>> cases[] = {
        {"a removed folder's sums are off", [&](Nodes& n, Order&) { n[index(s.b)].size += 1; }},
        {"tails of two parents swap entries",
         [&](Nodes&, Order& o) { std::swap(o[index(s.p)], o[index(s.b1)]); }},
        {"a child put back without counting it",
         [&](Nodes& n, Order&) {
             n[index(s.b2)].flags = 0;
             for (NodeID a : {s.b, s.p}) {
                 n[index(a)].size += 10;
                 n[index(a)].items += 1;
             }
         }},
    };
    for (const auto& [what, mutate] : cases) {
        Nodes nodes = good.nodes();
        Order order = good.order();
        mutate(nodes, order);
        EXPECT_NE(FileTree(good.rootPath(), nodes, good.names(), order).verify(), std::nullopt)
            << what;
    }
}

namespace {

// Random trees built the way the scanner builds them: each folder's children appended as one
// run, breadth first, each node with its own size; then finished.
class RandomTrees {
public:
    explicit RandomTrees(uint64_t seed)
        : rng_(seed) {}

    int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
    bool chance(int percent) { return below(100) < percent; }

    FileTree make(std::string rootPath, int maxNodes) {
        std::vector<FileTree::Node> nodes;
        std::vector<uint8_t> nameBuffer;
        std::vector<int> depth;
        addNode(nodes, nameBuffer, -1, Kind::folder, 0, 0, "root");
        depth.push_back(0);
        for (size_t f = 0; f < nodes.size() && static_cast<int>(nodes.size()) < maxNodes; ++f) {
            if (!FileTree::isContainerKind(static_cast<Kind>(nodes[f].kind))) continue;
            if (nodes[f].flags & (0x01 | 0x02 | 0x04))
                continue; // restricted, mount point, dataless: not entered
            const int n = below(depth[f] < 4 ? 6 : 2);
            if (n == 0) continue;
            nodes[f].firstChild = static_cast<int32_t>(nodes.size());
            nodes[f].childCount = n;
            for (int i = 0; i < n; ++i) {
                addRandomChild(nodes, nameBuffer, static_cast<int32_t>(f));
                depth.push_back(depth[f] + 1);
            }
        }
        FileTree tree(std::move(rootPath), std::move(nodes), std::move(nameBuffer));
        tree.finish();
        tree.setScannedAt(Date(std::chrono::seconds(below(1'000'000))));
        return tree;
    }

private:
    static void addNode(std::vector<FileTree::Node>& nodes, std::vector<uint8_t>& nameBuffer,
                        int32_t parent, Kind kind, uint64_t size, uint8_t flags,
                        const std::string& name) {
        nodes.push_back(FileTree::Node{size, static_cast<uint32_t>(nameBuffer.size()), parent, 0, 0,
                                       0, static_cast<uint16_t>(name.size()),
                                       static_cast<uint8_t>(kind), flags});
        nameBuffer.insert(nameBuffer.end(), name.begin(), name.end());
    }

    void addRandomChild(std::vector<FileTree::Node>& nodes, std::vector<uint8_t>& nameBuffer,
                        int32_t parent) {
        std::string name;
        for (int i = 0, n = 1 + below(4); i < n; ++i)
            name += "abxy"[below(4)];
        if (chance(3)) name += '\xff';
        // Few distinct sizes, so that ties are common.
        static constexpr uint64_t sizes[] = {0, 4096, 4096, 8192, 12288, 1};
        const int roll = below(100);
        if (roll < 50) {
            uint8_t flags = 0;
            if (chance(5)) flags |= 0x04; // dataless
            if (chance(8)) flags |= 0x40; // otherNames
            addNode(nodes, nameBuffer, parent, Kind::file, sizes[below(6)], flags, name);
        } else if (roll < 85) {
            uint8_t flags = 0;
            if (chance(8)) flags |= 0x01; // restricted
            if (chance(3)) flags |= 0x02; // mountPoint
            if (chance(3)) flags |= 0x04; // dataless
            addNode(nodes, nameBuffer, parent, chance(10) ? Kind::package : Kind::folder, 0, flags,
                    name);
        } else {
            addNode(nodes, nameBuffer, parent, chance(50) ? Kind::symlink : Kind::other,
                    sizes[below(6)], 0, name);
        }
    }

    std::mt19937_64 rng_;
};

std::vector<NodeID> select(const FileTree& tree, bool (*wanted)(const FileTree&, NodeID)) {
    std::vector<NodeID> out;
    for (int32_t i = 0; i < tree.count(); ++i) {
        if (wanted(tree, NodeID{i})) out.push_back(NodeID{i});
    }
    return out;
}

} // namespace

// Random sequences of edits on random trees; every edit must leave a tree that verify() accepts.
// A failure names its seed: run that one sequence again by setting `firstSeed` to it.
TEST(FileTreeEdits, RandomEditSequencesKeepEveryInvariant) {
    constexpr uint64_t firstSeed = 0x601d5eed;
    constexpr int sequences = 300;
    constexpr int stepsPerSequence = 40;

    for (uint64_t seed = firstSeed; seed < firstSeed + sequences; ++seed) {
        RandomTrees random(seed);
        FileTree tree = random.make("/data", 2 + random.below(80));
        ASSERT_EQ(tree.verify(), std::nullopt) << "seed " << seed << ": the generated tree";
        std::ostringstream log;

        for (int step = 0; step < stepsPerSequence; ++step) {
            const auto pick = [&](const std::vector<NodeID>& from) {
                return from.empty()
                           ? NodeID{random.below(tree.count())}
                           : from[static_cast<size_t>(random.below(static_cast<int>(from.size())))];
            };
            const int op = random.below(10);
            if (op <= 2) {
                // Mostly live nodes, as the app passes; sometimes anything at all.
                const auto live =
                    select(tree, [](const FileTree& t, NodeID n) { return t.isLive(n); });
                const NodeID x =
                    random.chance(80) ? pick(live) : NodeID{random.below(tree.count() + 2) - 1};
                log << " remove(" << x.index << ")";
                tree.remove(x);
            } else if (op <= 4) {
                const auto removed = select(tree, [](const FileTree& t, NodeID n) {
                    return contains(t.flags(n), Flags::removed);
                });
                const NodeID x =
                    random.chance(80) ? pick(removed) : NodeID{random.below(tree.count() + 2) - 1};
                log << " restore(" << x.index << ")";
                const FileTree before = tree;
                if (!tree.restore(x)) {
                    ASSERT_TRUE(tree == before) << "seed " << seed << ":" << log.str();
                }
            } else if (op == 5) {
                // Removing and restoring at once gives back every node exactly.
                const auto live = select(
                    tree, [](const FileTree& t, NodeID n) { return t.isLive(n) && n.index > 0; });
                if (live.empty()) continue;
                const NodeID x = pick(live);
                log << " remove+restore(" << x.index << ")";
                const FileTree before = tree;
                tree.remove(x);
                ASSERT_TRUE(tree.restore(x)) << "seed " << seed << ":" << log.str();
                ASSERT_EQ(tree.nodes(), before.nodes()) << "seed " << seed << ":" << log.str();
            } else {
                // A rescan of a container: mostly a live one, sometimes one already taken out.
                const auto containers =
                    select(tree, [](const FileTree& t, NodeID n) { return t.isContainer(n); });
                const auto liveContainers = select(tree, [](const FileTree& t, NodeID n) {
                    return t.isContainer(n) && t.isLive(n);
                });
                const NodeID at = random.chance(80) ? pick(liveContainers) : pick(containers);
                const bool admin = random.chance(30);
                if (op == 9 && tree.count() < 200 && random.chance(20)) {
                    log << " replaceContents(" << at.index << ", itself)";
                    tree.replaceContents(at, tree, admin);
                } else {
                    const bool matching = op != 9;
                    FileTree fresh = random.make(matching ? tree.path(at) : tree.path(at) + "/x",
                                                 1 + random.below(30));
                    if (random.chance(20)) fresh.markRootReadAsAdministrator();
                    if (random.chance(30)) {
                        // The new tree may carry a rescan of its own.
                        const auto inner = select(
                            fresh, [](const FileTree& t, NodeID n) { return t.isContainer(n); });
                        const NodeID innerAt = inner[static_cast<size_t>(
                            random.below(static_cast<int>(inner.size())))];
                        fresh.replaceContents(innerAt, random.make("/inner", 4), false);
                    }
                    const int32_t countBefore = tree.count();
                    std::optional<FileTree> before;
                    if (!matching) before = tree;
                    log << " graft(" << fresh.count() << " nodes, " << at.index << ", " << matching
                        << ")";
                    ASSERT_EQ(tree.graft(fresh, at, admin), matching)
                        << "seed " << seed << ":" << log.str();
                    if (matching) {
                        ASSERT_EQ(tree.count(), countBefore + fresh.count() - 1);
                        ASSERT_EQ(tree.size(at), fresh.size(FileTree::root()));
                        ASSERT_EQ(tree.scannedSince(at), fresh.scannedAt());
                    } else {
                        ASSERT_TRUE(tree == *before) << "seed " << seed << ":" << log.str();
                    }
                }
            }
            ASSERT_EQ(tree.verify(), std::nullopt) << "seed " << seed << ":" << log.str();
        }

        // The edited tree travels through the transfer format unchanged.
        const std::vector<uint8_t> block = tree.transferData();
        const FileTree decoded{std::span<const uint8_t>(block)};
        ASSERT_EQ(decoded.nodes(), tree.nodes()) << "seed " << seed;
        ASSERT_EQ(decoded.names(), tree.names()) << "seed " << seed;
        ASSERT_EQ(decoded.order(), tree.order()) << "seed " << seed;
        ASSERT_EQ(decoded.rootPath(), tree.rootPath()) << "seed " << seed;
        ASSERT_EQ(decoded.verify(), std::nullopt) << "seed " << seed;
    }
}
