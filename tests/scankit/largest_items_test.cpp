#include "scankit/largest_items.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace hollowmere;

namespace {

using Kind = FileTree::Kind;
using Flags = FileTree::Flags;

struct Item {
    int32_t parent; // -1 for the root
    std::string name;
    Kind kind = Kind::file;
    uint64_t size = 0;
    Flags flags = Flags::none;
};

// Builds and finishes a tree from items listed in index order; each parent's children must be
// listed together, after it, as the scanner appends them.
FileTree makeTree(const std::vector<Item>& items) {
    std::vector<FileTree::Node> nodes;
    std::vector<uint8_t> names;
    for (const Item& item : items) {
        FileTree::Node n{};
        n.size = item.size;
        n.nameStart = static_cast<uint32_t>(names.size());
        n.nameLength = static_cast<uint16_t>(item.name.size());
        n.parent = item.parent;
        n.kind = static_cast<uint8_t>(item.kind);
        n.flags = static_cast<uint8_t>(item.flags);
        names.insert(names.end(), item.name.begin(), item.name.end());
        const auto index = static_cast<int32_t>(nodes.size());
        nodes.push_back(n);
        if (item.parent >= 0) {
            FileTree::Node& parent = nodes[static_cast<size_t>(item.parent)];
            if (parent.childCount == 0) parent.firstChild = index;
            EXPECT_EQ(parent.firstChild + parent.childCount, index) << "children of " << item.parent << " not together";
            ++parent.childCount;
        }
    }
    FileTree tree("/data", std::move(nodes), std::move(names));
    tree.finish();
    return tree;
}

std::vector<NodeID> ids(std::initializer_list<int32_t> indexes) {
    std::vector<NodeID> result;
    for (int32_t i : indexes) result.push_back(NodeID{i});
    return result;
}

// Every kind of node the walk has to tell apart.
FileTree sampleTree() {
    return makeTree({
        /* 0 */ {-1, "data", Kind::folder},
        /* 1 */ {0, "Movies", Kind::folder},
        /* 2 */ {0, "big.iso", Kind::file, 500},
        /* 3 */ {0, "Tool.app", Kind::package},
        /* 4 */ {0, "empty", Kind::folder},
        /* 5 */ {0, "link.mp4", Kind::symlink, 100},
        /* 6 */ {0, "pipe.zip", Kind::other, 100},
        /* 7 */ {0, "Disk.sparsebundle", Kind::package},
        /* 8 */ {1, "a.mov", Kind::file, 300},
        /* 9 */ {1, "b.MP4", Kind::file, 300},
        /* 10 */ {1, "zero.mkv", Kind::file, 0},
        /* 11 */ {1, "cloud.mov", Kind::file, 900, Flags::dataless},
        /* 12 */ {1, "second name.mov", Kind::file, 800, Flags::hardLink | Flags::otherNames},
        /* 13 */ {1, "Deep", Kind::folder},
        /* 14 */ {3, "huge.zip", Kind::file, 1000},
        /* 15 */ {7, "band0", Kind::file, 200},
        /* 16 */ {13, "x.tar.gz", Kind::file, 50},
        /* 17 */ {13, "Folder.zip", Kind::folder},
        /* 18 */ {17, "in.txt", Kind::file, 60},
    });
}

} // namespace

TEST(LargestItems, CategoryOfANode) {
    const FileTree tree = sampleTree();
    const struct {
        int32_t index;
        std::optional<ItemCategory> expected;
    } cases[] = {
        {0, std::nullopt},                 // the root folder
        {2, ItemCategory::diskImage},
        {3, ItemCategory::app},            // a package
        {7, ItemCategory::diskImage},      // a package with a disk-image extension
        {9, ItemCategory::video},
        {14, ItemCategory::archive},       // where it lies does not matter here
        {5, std::nullopt},                 // symlink
        {6, std::nullopt},                 // other
        {17, std::nullopt},                // folder named like an archive
        {18, std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(tree.category(NodeID{c.index}), c.expected) << "node " << c.index;
}

TEST(LargestItems, WhichNodesQualifyAndInWhatOrder) {
    const FileTree tree = sampleTree();
    ASSERT_EQ(tree.verify(), std::nullopt);

    // Left out: folders (1, 4, 13, 17), the symlink and the other item, the empty file, the
    // dataless file, the further hard-link name, and everything inside the two packages.
    const LargestItems all = tree.largestItems(100);
    EXPECT_EQ(all.all, ids({3, 2, 8, 9, 7, 18, 16}));
    EXPECT_EQ(all.items(std::nullopt), all.all);
    EXPECT_EQ(all.items(ItemCategory::video), ids({8, 9}));
    EXPECT_EQ(all.items(ItemCategory::archive), ids({16}));
    EXPECT_EQ(all.items(ItemCategory::diskImage), ids({2, 7}));
    EXPECT_EQ(all.items(ItemCategory::installer), ids({}));
    EXPECT_EQ(all.items(ItemCategory::app), ids({3}));
    EXPECT_EQ(all.byCategory.size(), 5u);

    // Two files of 300 bytes compete for the last place: the lower index stays, listed first.
    const LargestItems three = tree.largestItems(3);
    EXPECT_EQ(three.all, ids({3, 2, 8}));
    EXPECT_EQ(three.items(ItemCategory::video), ids({8, 9}));
    EXPECT_EQ(tree.largestItems(1).items(ItemCategory::video), ids({8}));
}

TEST(LargestItems, NoLimitOrNoCandidatesStillListsEveryCategory) {
    const FileTree rootOnly = makeTree({{-1, "data", Kind::folder}});
    const FileTree sample = sampleTree();
    for (const auto& [tree, limit] : {std::pair{&rootOnly, 100}, std::pair{&sample, 0}, std::pair{&sample, -1}}) {
        const LargestItems result = tree->largestItems(limit);
        EXPECT_TRUE(result.all.empty());
        ASSERT_EQ(result.byCategory.size(), 5u) << "limit " << limit;
        for (ItemCategory category : allItemCategories) {
            EXPECT_TRUE(result.items(category).empty()) << rawValue(category);
        }
    }
}

TEST(LargestItems, EmptyValueHasNoCategoryEntries) {
    const LargestItems empty = LargestItems::empty();
    EXPECT_TRUE(empty.all.empty());
    EXPECT_TRUE(empty.byCategory.empty());
    EXPECT_TRUE(empty.items(ItemCategory::archive).empty());
    EXPECT_EQ(empty, LargestItems{});
}

TEST(LargestItems, KeepsTheLimitOutOfManyCandidates) {
    // 150 archives of distinct sizes, spread over two folders, in no particular order.
    std::vector<Item> items{{-1, "data", Kind::folder}, {0, "a", Kind::folder}, {0, "b", Kind::folder}};
    for (int i = 0; i < 150; ++i) {
        items.push_back({i < 75 ? 1 : 2, "f" + std::to_string(i) + ".zip", Kind::file,
                         static_cast<uint64_t>((i * 37) % 150 + 1)});
    }
    const FileTree tree = makeTree(items);
    const LargestItems result = tree.largestItems(100);
    ASSERT_EQ(result.all.size(), 100u);
    EXPECT_EQ(tree.size(result.all.front()), 150u);
    EXPECT_EQ(tree.size(result.all.back()), 51u);
    for (size_t k = 1; k < result.all.size(); ++k) {
        EXPECT_GT(tree.size(result.all[k - 1]), tree.size(result.all[k]));
    }
    EXPECT_EQ(result.items(ItemCategory::archive), result.all);
}

TEST(LargestItems, DeepTreesDoNotExhaustTheStack) {
    constexpr int32_t depth = 300'000;
    std::vector<Item> items;
    items.reserve(depth + 2);
    items.push_back({-1, "data", Kind::folder});
    for (int32_t i = 1; i <= depth; ++i) items.push_back({i - 1, "d", Kind::folder});
    items.push_back({depth, "bottom.iso", Kind::file, 4096});
    const FileTree tree = makeTree(items);
    const LargestItems result = tree.largestItems(10);
    EXPECT_EQ(result.all, ids({depth + 1}));
    EXPECT_EQ(result.items(ItemCategory::diskImage), ids({depth + 1}));
}
