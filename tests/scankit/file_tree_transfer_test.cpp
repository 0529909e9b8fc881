#include "raw_tree.h"
#include "scankit/disk_scanner.h"
#include "scankit/file_tree.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

using namespace hollowmere;
using hollowmere::test::editedTree;
using hollowmere::test::RawTree;
using hollowmere::test::TempDir;
using Kind = FileTree::Kind;
using Flags = FileTree::Flags;
using Block = std::vector<uint8_t>;

namespace {

// Little-endian field access by offset, independent of the encoder's own structures.
uint64_t readLE(const Block& b, size_t offset, size_t width) {
    uint64_t value = 0;
    for (size_t k = width; k-- > 0;) value = value << 8 | b.at(offset + k);
    return value;
}

void writeLE(Block& b, size_t offset, size_t width, uint64_t value) {
    for (size_t k = 0; k < width; ++k) b.at(offset + k) = static_cast<uint8_t>(value >> (8 * k));
}

constexpr size_t nodeOffset(size_t i) { return 40 + 32 * i; }

// Node field offsets inside a record.
enum Field : size_t { size = 0, nameStart = 8, parent = 12, firstChild = 16, childCount = 20, items = 24, nameLength = 28, kind = 30, flags = 31 };

void setField(Block& b, size_t node, Field field, int64_t value) {
    const size_t width = field == size ? 8 : field == nameLength ? 2 : field >= kind ? 1 : 4;
    writeLE(b, nodeOffset(node) + field, width, static_cast<uint64_t>(value));
}

size_t orderOffset(const Block& b) { return 40 + 32 * readLE(b, 8, 8) + readLE(b, 16, 8); }

void setOrder(Block& b, size_t position, int32_t entry) {
    writeLE(b, orderOffset(b) + 4 * position, 4, static_cast<uint32_t>(entry));
}

std::string decodeError(const Block& block) {
    try {
        FileTree tree{std::span<const uint8_t>(block)};
        return "decoded";
    } catch (const FileTree::TransferError& error) {
        EXPECT_EQ(error.which(), FileTree::TransferError::Case::malformed);
        return error.message();
    }
}

// The root and `children` files below it, the smallest last.
FileTree flatTree(int children) {
    RawTree raw("/flat");
    raw.add("flat", Kind::folder, 0, -1, 1, children, static_cast<uint32_t>(children));
    for (int i = 1; i <= children; ++i) raw.add("f" + std::to_string(i), Kind::file, 1000 - i, 0);
    return raw.build();
}

FileTree decodedCopy(const FileTree& tree) {
    FileTree decoded{std::span<const uint8_t>(tree.transferData())};
    decoded.setScannedAt(tree.scannedAt());
    return decoded;
}

} // namespace

TEST(TreeTransfer, RootOnlyTreeHasTheMinimalLengthAndDecodesEqual) {
    RawTree raw("/home/ann");
    raw.add("ann", Kind::folder, 0, -1);
    const FileTree tree = raw.build();
    const Block block = tree.transferData();
    EXPECT_EQ(block.size(), 40u + 32 + 3 + 4 + 9);

    const auto before = Clock::now();
    FileTree decoded{std::span<const uint8_t>(block)};
    EXPECT_GE(decoded.scannedAt(), before);
    EXPECT_LE(decoded.scannedAt(), Clock::now());
    decoded.setScannedAt(tree.scannedAt());
    EXPECT_EQ(decoded, tree);
}

TEST(TreeTransfer, BlockLaysOutHeaderNodesNamesOrderAndRootPath) {
    const FileTree tree = editedTree();
    const Block b = tree.transferData();
    const size_t n = 7, names = 10, root = tree.rootPath().size();
    ASSERT_EQ(b.size(), 40 + 32 * n + names + 4 * n + root);

    EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "1THW");
    EXPECT_EQ(readLE(b, 0, 4), 0x57485431u);
    EXPECT_EQ(readLE(b, 4, 4), 32u);
    EXPECT_EQ(readLE(b, 8, 8), n);
    EXPECT_EQ(readLE(b, 16, 8), names);
    EXPECT_EQ(readLE(b, 24, 8), n);
    EXPECT_EQ(readLE(b, 32, 8), root);

    for (size_t i = 0; i < n; ++i) {
        SCOPED_TRACE(i);
        const FileTree::Node& node = tree.nodes()[i];
        const size_t at = nodeOffset(i);
        EXPECT_EQ(readLE(b, at + size, 8), node.size);
        EXPECT_EQ(readLE(b, at + nameStart, 4), node.nameStart);
        EXPECT_EQ(static_cast<int32_t>(readLE(b, at + parent, 4)), node.parent);
        EXPECT_EQ(readLE(b, at + firstChild, 4), static_cast<uint32_t>(node.firstChild));
        EXPECT_EQ(readLE(b, at + childCount, 4), static_cast<uint32_t>(node.childCount));
        EXPECT_EQ(readLE(b, at + items, 4), node.items);
        EXPECT_EQ(readLE(b, at + nameLength, 2), node.nameLength);
        EXPECT_EQ(b[at + kind], node.kind);
        EXPECT_EQ(b[at + flags], node.flags);
    }
    const size_t namesAt = nodeOffset(n);
    EXPECT_EQ(std::string(b.begin() + namesAt, b.begin() + namesAt + names), "dataabxyxz");
    for (size_t k = 0; k < n; ++k) EXPECT_EQ(readLE(b, namesAt + names + 4 * k, 4), k);
    EXPECT_EQ(std::string(b.end() - static_cast<ptrdiff_t>(root), b.end()), "/srv/Mail.app/data");
}

TEST(TreeTransfer, EditedTreeKeepsEveryFlagAndIndex) {
    const FileTree tree = editedTree();
    ASSERT_EQ(tree.verify(), std::nullopt);
    const Block block = tree.transferData();
    FileTree decoded{std::span<const uint8_t>(block)};

    EXPECT_EQ(decoded.nodes(), tree.nodes());
    EXPECT_EQ(decoded.names(), tree.names());
    EXPECT_EQ(decoded.order(), tree.order());
    EXPECT_EQ(decoded.rootPath(), "/srv/Mail.app/data");
    EXPECT_TRUE(decoded.rootIsPackagePart());
    EXPECT_TRUE(decoded.rescannedAt().empty());
    EXPECT_EQ(decoded.verify(), std::nullopt);
    EXPECT_EQ(decoded.transferData(), block);
    EXPECT_FALSE(decoded.isLive(NodeID{3}));
    EXPECT_TRUE(decoded.isReadAsAdministrator(NodeID{6}));
}

TEST(TreeTransfer, ScannedTreeRoundTripsNodeForNode) {
    TempDir dir;
    dir.mkdir("docs");
    dir.mkdir("docs/deep");
    dir.mkdir("docs/deep/er");
    dir.mkdir("Tool.app");
    dir.write("docs/a.txt", 5000);
    dir.write("docs/deep/er/b.bin", 70000);
    dir.write("Tool.app/binary", 12000);
    dir.write("top", 300);
    dir.link("docs/a.txt", "second-name");
    dir.symlink("docs", "link");
    dir.write("caf\xC3\xA9 \xFF.txt", 10);

    const FileTree tree = DiskScanner(dir.path(), std::nullopt, 2, true).scan();
    ASSERT_GE(tree.count(), 12);
    const FileTree decoded = decodedCopy(tree);
    EXPECT_EQ(decoded, tree);
    EXPECT_EQ(decoded.verify(), std::nullopt);
}

TEST(TreeTransfer, RootPathIsDecodedAsRepairedUtf8) {
    RawTree raw("/tmp/caf\xC3\xA9/\xFF");
    raw.add("x", Kind::folder, 0, -1);
    const FileTree decoded{std::span<const uint8_t>(raw.build().transferData())};
    EXPECT_EQ(decoded.rootPath(), "/tmp/caf\xC3\xA9/\xEF\xBF\xBD");
}

// A block that the checks accept although it is not a sound tree: sizes and the positions
// that no child run reaches are taken as sent.
TEST(TreeTransfer, UnreachedOrderPositionsAndSumsAreTakenAsSent) {
    Block block = editedTree().transferData();
    setOrder(block, 3, 4); // a's old, removed run now lists y twice
    setField(block, 0, size, 1);
    const FileTree decoded{std::span<const uint8_t>(block)};
    EXPECT_EQ(decoded.order()[3], 4);
    EXPECT_EQ(decoded.size(decoded.root()), 1u);
    EXPECT_EQ(decoded.childCount(NodeID{1}), 2);
}

struct MalformedCase {
    const char* name;
    std::function<void(Block&)> corrupt;
    std::string message;
};

class MalformedBlock : public testing::TestWithParam<MalformedCase> {};

TEST_P(MalformedBlock, IsRejectedWithItsMessage) {
    // editedTree: 7 nodes, 10 name bytes; its root run is position 1, a's run positions 5-6.
    Block block = editedTree().transferData();
    ASSERT_EQ(decodeError(block), "decoded");
    GetParam().corrupt(block);
    EXPECT_EQ(decodeError(block), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    TreeTransfer, MalformedBlock,
    testing::Values(
        MalformedCase{"Empty", [](Block& b) { b.clear(); }, "short header"},
        MalformedCase{"ThirtyNineBytes", [](Block& b) { b.resize(39); }, "short header"},
        MalformedCase{"OtherMagic", [](Block& b) { b.resize(40); b[0] = '2'; }, "not a Hollowmere tree"},
        MalformedCase{"RecordSize24", [](Block& b) { writeLE(b, 4, 4, 24); }, "another layout"},
        MalformedCase{"NoNodes", [](Block& b) { writeLE(b, 8, 8, 0); writeLE(b, 24, 8, 0); }, "bad counts"},
        MalformedCase{"TooManyNodes", [](Block& b) { writeLE(b, 8, 8, 1ull << 31); writeLE(b, 24, 8, 1ull << 31); }, "bad counts"},
        MalformedCase{"OrderCountNotNodeCount", [](Block& b) { writeLE(b, 24, 8, 6); }, "bad counts"},
        MalformedCase{"NameBytes4GiB", [](Block& b) { writeLE(b, 16, 8, 1ull << 32); }, "bad counts"},
        MalformedCase{"RootPathOverOneMiB", [](Block& b) { writeLE(b, 32, 8, 1048577); }, "bad counts"},
        // The largest counts pass; the length check rejects them before anything is allocated.
        MalformedCase{"LargestCountsInAShortBlock",
                      [](Block& b) {
                          writeLE(b, 8, 8, 0x7fffffff);
                          writeLE(b, 24, 8, 0x7fffffff);
                          writeLE(b, 16, 8, 0xffffffff);
                          writeLE(b, 32, 8, 1048576);
                      },
                      "length 320, expected 81605427203"},
        MalformedCase{"KindBeforeNodeChecks",
                      [](Block& b) { setField(b, 5, kind, 7); setField(b, 3, parent, 3); setField(b, 6, kind, 5); },
                      "bad kind at 5"},
        MalformedCase{"RootNameOutOfRange", [](Block& b) { setField(b, 0, nameStart, 7); }, "name out of range at 0"},
        MalformedCase{"RootNameRangeWrapsIn32Bits",
                      [](Block& b) { setField(b, 0, nameStart, 0xffffffff); setField(b, 0, nameLength, 2); },
                      "name out of range at 0"},
        MalformedCase{"RootWithParent", [](Block& b) { setField(b, 0, parent, 0); }, "root with a parent"},
        MalformedCase{"RootFirstChildNegative", [](Block& b) { setField(b, 0, firstChild, -1); }, "children out of range at 0"},
        MalformedCase{"RootChildrenPastEnd", [](Block& b) { setField(b, 0, childCount, 7); }, "children out of range at 0"},
        MalformedCase{"NameBeforeParent",
                      [](Block& b) { setField(b, 4, nameStart, 10); setField(b, 4, parent, 9); },
                      "name out of range at 4"},
        MalformedCase{"NegativeFirstChild", [](Block& b) { setField(b, 2, firstChild, -3); }, "children out of range at 2"},
        MalformedCase{"ChildRunWrapsIn32Bits",
                      [](Block& b) { setField(b, 3, firstChild, 0x7fffffff); setField(b, 3, childCount, 1); },
                      "children out of range at 3"},
        MalformedCase{"NegativeChildCount", [](Block& b) { setField(b, 6, childCount, -1); }, "children out of range at 6"},
        MalformedCase{"OrderEntryNegative", [](Block& b) { setOrder(b, 3, -1); }, "order out of range"},
        MalformedCase{"OrderEntryN", [](Block& b) { setOrder(b, 6, 7); }, "order out of range"},
        MalformedCase{"NodeChecksBeforeOrder", [](Block& b) { setOrder(b, 3, -1); setField(b, 6, parent, 6); }, "bad parent at 6"},
        // Beyond the index checks: child links that would loop or repeat.
        MalformedCase{"RootNotFirstInOrder", [](Block& b) { setOrder(b, 0, 2); }, "root not first in order"},
        MalformedCase{"RootListsItself", [](Block& b) { setField(b, 0, firstChild, 0); }, "foreign child at 0"},
        MalformedCase{"ChildOfAnotherNode", [](Block& b) { setOrder(b, 5, 2); setOrder(b, 2, 5); }, "foreign child at 1"},
        MalformedCase{"FolderListsItsParent",
                      [](Block& b) { setField(b, 5, kind, 1); setField(b, 5, firstChild, 1); setField(b, 5, childCount, 1); },
                      "foreign child at 5"},
        MalformedCase{"ChildListedTwice", [](Block& b) { setOrder(b, 6, 5); }, "repeated child at 1"}),
    [](const testing::TestParamInfo<MalformedCase>& info) { return info.param.name; });

TEST(TreeTransfer, LengthMessageGivesActualAndExpectedLength) {
    // 40 + 36 + 1000 name bytes + 24 root path bytes = 1100.
    RawTree raw("/volumes/archive/backups");
    raw.add(std::string(1000, 'n'), Kind::folder, 0, -1);
    Block block = raw.build().transferData();
    ASSERT_EQ(block.size(), 1100u);
    block.push_back(0);
    EXPECT_EQ(decodeError(block), "length 1101, expected 1100");
    block.resize(1099);
    EXPECT_EQ(decodeError(block), "length 1099, expected 1100");
}

TEST(TreeTransfer, NodeChecksNameTheFirstBadIndex) {
    const Block good = flatTree(14).transferData();
    Block block = good;
    setField(block, 12, kind, 7);
    EXPECT_EQ(decodeError(block), "bad kind at 12");
    for (int32_t parentIndex : {5, 9, -1}) {
        block = good;
        setField(block, 5, parent, parentIndex);
        setField(block, 8, parent, 8);
        EXPECT_EQ(decodeError(block), "bad parent at 5") << parentIndex;
    }
}

TEST(TreeTransfer, ErrorsCompareByMessage) {
    using E = FileTree::TransferError;
    EXPECT_EQ(E::malformed("bad counts"), E::malformed("bad counts"));
    EXPECT_NE(E::malformed("bad counts"), E::malformed("short header"));
    EXPECT_STREQ(E::malformed("short header").what(), "short header");
}
