#include "scankit/file_tree.h"
#include "scankit/package_rule.h"
#include "scankit/utf8.h"
#include "support/tree_builder.h"

#include <gtest/gtest.h>

#include <functional>
#include <utility>

using namespace hollowmere;
using hollowmere::test::TreeBuilder;
using Kind = FileTree::Kind;
using Flags = FileTree::Flags;

namespace {

std::vector<int32_t> indexes(const std::vector<NodeID>& ids) {
    std::vector<int32_t> out;
    for (NodeID id : ids) out.push_back(id.index);
    return out;
}

} // namespace

TEST(FileTree, RootAloneFinishesEmpty) {
    const FileTree tree = TreeBuilder("/Users/ann/Empty").build();
    EXPECT_EQ(tree.count(), 1);
    EXPECT_EQ(tree.size(FileTree::root()), 0u);
    EXPECT_EQ(tree.itemCount(FileTree::root()), 0u);
    EXPECT_EQ(tree.order(), std::vector<int32_t>{0});
    EXPECT_EQ(tree.storageBytes(), 32u + 4u + tree.names().size());
    EXPECT_EQ(tree.verify(), std::nullopt);
}

TEST(FileTree, FinishRollsUpAndOrdersLargestFirstWithIndexTieBreak) {
    TreeBuilder b("/data");
    const int32_t p = b.add(0, {{"P", Kind::folder}, {"x", Kind::file, 1}, {"y", Kind::file, 2}});
    b.add(p, {{"a", Kind::file, 5}, {"b", Kind::file, 9}, {"c", Kind::file, 5}});
    const FileTree tree = b.build();

    EXPECT_EQ(indexes(tree.children(NodeID{p})), (std::vector<int32_t>{5, 4, 6}));
    EXPECT_EQ(indexes(tree.children(FileTree::root())), (std::vector<int32_t>{1, 3, 2}));
    EXPECT_EQ(tree.child(1, NodeID{p}), NodeID{4});
    EXPECT_EQ(tree.size(NodeID{p}), 19u);
    EXPECT_EQ(tree.itemCount(NodeID{p}), 3u);
    EXPECT_EQ(tree.size(FileTree::root()), 22u);
    EXPECT_EQ(tree.itemCount(FileTree::root()), 6u);
    EXPECT_EQ(tree.verify(), std::nullopt);
}

TEST(FileTree, DatalessMarksEveryAncestor) {
    TreeBuilder b("/");
    const int32_t a = b.add(0, {{"a", Kind::folder}, {"side", Kind::folder}});
    const int32_t bb = b.add(a, {{"b", Kind::folder}});
    b.add(bb, {{"cloud.mov", Kind::file, 4096, Flags::dataless}});
    // A folder flagged containsDataless by an earlier edit passes it on without being dataless.
    b.add(a + 1, {{"inner", Kind::folder, 0, Flags::containsDataless}});
    const FileTree tree = b.build();
    for (int32_t i : {0, a, bb, a + 1}) {
        EXPECT_TRUE(contains(tree.flags(NodeID{i}), Flags::containsDataless)) << "node " << i;
    }
    EXPECT_FALSE(contains(tree.flags(NodeID{bb + 1}), Flags::containsDataless));
}

TEST(FileTree, PathsAndUrls) {
    struct Case {
        std::string rootPath;
        std::vector<std::string_view> chain; // names below the root
        std::string expected;
    };
    const Case cases[] = {
        {"/", {}, "/"},
        {"/", {"Users"}, "/Users"},
        {"/Users/ann", {}, "/Users/ann"},
        {"/Users/ann", {"Documents", "a.txt"}, "/Users/ann/Documents/a.txt"},
        {"/srv", {"bad\xff" "name", "f"}, "/srv/bad\xEF\xBF\xBDname/f"},
    };
    for (const Case& c : cases) {
        TreeBuilder b(c.rootPath, "display name");
        int32_t node = 0;
        for (std::string_view name : c.chain) node = b.add(node, {{name, Kind::folder}});
        const FileTree tree = b.build();
        EXPECT_EQ(tree.path(NodeID{node}), c.expected);
        EXPECT_EQ(tree.url(NodeID{node}), (FileTree::FileUrl{c.expected, true}));
    }

    TreeBuilder b("/home/ann");
    b.add(0, {{"notes\xc3", Kind::file, 1}});
    const FileTree tree = b.build();
    EXPECT_EQ(tree.name(NodeID{1}), "notes\xEF\xBF\xBD");
    EXPECT_EQ(tree.nameBytes(NodeID{1}), "notes\xc3");
    EXPECT_FALSE(tree.url(NodeID{1}).isDirectory);
}

TEST(FileTree, AncestryAndLiveness) {
    TreeBuilder b("/v");
    const int32_t a = b.add(0, {{"a", Kind::folder}, {"r", Kind::folder, 0, Flags::restricted}});
    const int32_t c = b.add(a, {{"c", Kind::folder}, {"r2", Kind::folder, 0, Flags::restricted}});
    const int32_t f = b.add(c, {{"f", Kind::file, 1}});
    FileTree tree = b.build();

    EXPECT_EQ(indexes(tree.ancestors(NodeID{f})), (std::vector<int32_t>{0, a, c, f}));
    EXPECT_TRUE(tree.isAncestor(NodeID{a}, NodeID{f}));
    EXPECT_FALSE(tree.isAncestor(NodeID{f}, NodeID{f}));
    EXPECT_FALSE(tree.isAncestor(NodeID{f}, NodeID{a}));
    EXPECT_EQ(tree.parent(FileTree::root()), std::nullopt);
    EXPECT_EQ(tree.parent(NodeID{f}), NodeID{c});
    EXPECT_EQ(indexes(tree.restrictedFolders()), (std::vector<int32_t>{a + 1, c + 1}));

    for (int32_t bad : {-1, tree.count(), 1 << 30}) EXPECT_FALSE(tree.isLive(NodeID{bad})) << bad;
    EXPECT_TRUE(tree.isLive(NodeID{f}));

    // Removing the grandparent takes the file and the restricted folder below it out.
    TreeBuilder removed = b;
    removed.setFlags(a, Flags::removed);
    tree = removed.buildUnfinished();
    EXPECT_FALSE(tree.isLive(NodeID{f}));
    EXPECT_TRUE(tree.isLive(NodeID{a + 1}));
    EXPECT_EQ(indexes(tree.restrictedFolders()), (std::vector<int32_t>{a + 1}));
}

TEST(FileTree, PackageMembershipAndAdministratorReads) {
    TreeBuilder b("/Applications");
    const int32_t app = b.add(0, {{"Mail.app", Kind::package}, {"Notes", Kind::folder}});
    const int32_t contents = b.add(app, {{"Contents", Kind::folder}});
    b.add(contents, {{"Inner.app", Kind::package}});
    FileTree tree = b.build();
    EXPECT_FALSE(tree.isInsidePackage(NodeID{app}));
    EXPECT_TRUE(tree.isInsidePackage(NodeID{contents}));
    EXPECT_TRUE(tree.isInsidePackage(NodeID{contents + 1}));
    EXPECT_FALSE(tree.isInsidePackage(NodeID{app + 1}));

    // The scanned folder lies inside a package: everything but the root is inside one.
    const FileTree inside = TreeBuilder("/Applications/Mail.app/Contents").build();
    EXPECT_TRUE(inside.rootIsPackagePart());
    EXPECT_FALSE(inside.isInsidePackage(FileTree::root()));
    TreeBuilder ib("/Applications/Mail.app/Contents");
    ib.add(0, {{"Info.plist", Kind::file, 1}});
    EXPECT_TRUE(ib.build().isInsidePackage(NodeID{1}));

    EXPECT_FALSE(tree.isReadAsAdministrator(NodeID{contents}));
    tree.markRootReadAsAdministrator();
    EXPECT_TRUE(tree.isReadAsAdministrator(NodeID{contents}));
    EXPECT_TRUE(contains(tree.flags(FileTree::root()), Flags::readAsAdministrator));
}

TEST(FileTree, FreedByTrashingCountsNothingForAFileWithOtherNames) {
    TreeBuilder b("/d");
    const int32_t folder = b.add(0, {{"folder", Kind::folder}});
    b.add(folder, {{"linked", Kind::file, 8192, Flags::otherNames}, {"plain", Kind::file, 4096}});
    const FileTree tree = b.build();
    EXPECT_EQ(tree.freedByTrashing(NodeID{folder + 1}), 0u);
    EXPECT_EQ(tree.freedByTrashing(NodeID{folder + 2}), 4096u);
    EXPECT_EQ(tree.freedByTrashing(NodeID{folder}), 12288u);
}

TEST(FileTree, ScannedSinceIsTheScanDateWithoutRescans) {
    FileTree tree = TreeBuilder("/d").build();
    const Date when = Date(std::chrono::seconds(1'700'000'000));
    tree.setScannedAt(when);
    EXPECT_EQ(tree.scannedSince(FileTree::root()), when);
}

TEST(FileTree, KindRawValues) {
    for (uint8_t raw = 0; raw < 5; ++raw) EXPECT_TRUE(FileTree::isValidKind(raw));
    EXPECT_FALSE(FileTree::isValidKind(5));
    EXPECT_FALSE(FileTree::isValidKind(255));
}

TEST(FileTree, VerifyFindsBrokenInvariants) {
    TreeBuilder b("/d");
    const int32_t p = b.add(0, {{"p", Kind::folder}, {"q", Kind::file, 3}});
    b.add(p, {{"a", Kind::file, 7}, {"b", Kind::file, 2}});
    const FileTree good = b.build();
    ASSERT_EQ(good.verify(), std::nullopt);

    using Nodes = std::vector<FileTree::Node>;
    using Order = std::vector<int32_t>;
    const std::pair<const char*, std::function<void(Nodes&, Order&)>> cases[] = {
        {"size not the sum", [](Nodes& n, Order&) { n[1].size += 1; }},
        {"items not the count", [](Nodes& n, Order&) { n[0].items -= 1; }},
        {"children out of order", [](Nodes&, Order& o) { std::swap(o[3], o[4]); }},
        {"order not a permutation", [](Nodes&, Order& o) { o[4] = 3; }},
        {"order too short", [](Nodes&, Order& o) { o.pop_back(); }},
        {"parent after child", [](Nodes& n, Order&) { n[1].parent = 2; }},
        {"invalid kind", [](Nodes& n, Order&) { n[2].kind = 5; }},
        {"name out of bounds", [](Nodes& n, Order&) { n[2].nameStart = 1000; }},
        {"file with children", [](Nodes& n, Order&) { n[2].childCount = 1; }},
        {"root not a folder", [](Nodes& n, Order&) { n[0].kind = static_cast<uint8_t>(Kind::package); }},
        {"removed child counted", [](Nodes& n, Order&) { n[4].flags = static_cast<uint8_t>(Flags::removed); }},
        {"dataless not carried", [](Nodes& n, Order&) { n[3].flags = static_cast<uint8_t>(Flags::dataless); }},
    };
    for (const auto& [what, mutate] : cases) {
        Nodes nodes = good.nodes();
        Order order = good.order();
        mutate(nodes, order);
        EXPECT_NE(FileTree("/d", nodes, good.names(), order).verify(), std::nullopt) << what;
    }
}

TEST(PackageRule, Names) {
    const std::pair<std::string_view, bool> cases[] = {
        {"Project.xcodeproj", true},  {".app", false},           {"Report.verylongextension", false},
        {"Foo.bar.app", true},        {"Foo.app.zip", false},    {"Show.FCPBundle", true},
        {"Tool.APP", true},           {"noext", false},          {"trailing.", false},
        {"Keynote.\xE2\x84\xAA" "ey", true}, // Kelvin sign lower-cases to "k"
        {"a.abcdefghijklmno", false}, // 15-byte extension
        {"Caf\xC3\xA9.app", true},    {"x.\xC3\xA1pp", false},
    };
    for (const auto& [name, expected] : cases) EXPECT_EQ(PackageRule::matches(name), expected) << name;
}

TEST(PackageRule, RootPathComponents) {
    const std::pair<std::string_view, bool> cases[] = {
        {"/Applications/Mail.app/Contents", true},
        {"/Applications/Mail.app", true},
        {"/Users/ann/.app", false},
        {"/Volumes/X/Show.FCPBundle/Media", true},
        {"/", false},
    };
    for (const auto& [path, expected] : cases) {
        EXPECT_EQ(FileTree(std::string(path), {}, {}).rootIsPackagePart(), expected) << path;
    }
}

TEST(Utf8, RepairReplacesEachIllFormedSubsequence) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"plain", "plain"},
        {"caf\xC3\xA9", "caf\xC3\xA9"},
        {"\x80", "\xEF\xBF\xBD"},
        {"a\xE2\x82", "a\xEF\xBF\xBD"},                       // truncated three-byte sequence: one
        {"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},              // overlong: each byte
        {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"}, // surrogate
        {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},
    };
    for (const auto& [in, out] : cases) {
        EXPECT_EQ(repairUtf8(in), out);
        EXPECT_EQ(isValidUtf8(in), in == out);
    }
}
