// Decodes arbitrary bytes as a transfer block. A block that decodes must be safe for every
// reader of the tree: each is run over it, and any walk that visits a node twice, or a
// re-encoding that differs from the input, stops the run.
#include "scankit/file_tree.h"
#include "scankit/utf8.h"

#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>
#include <vector>

using namespace hollowmere;

namespace {

void readEveryNode(const FileTree& tree) {
    for (int32_t i = 0; i < tree.count(); ++i) {
        const NodeID id{i};
        (void)tree.path(id);
        (void)tree.url(id);
        (void)tree.ancestors(id);
        (void)tree.isLive(id);
        (void)tree.isInsidePackage(id);
        (void)tree.isReadAsAdministrator(id);
        (void)tree.freedByTrashing(id);
        (void)tree.scannedSince(id);
        (void)tree.isAncestor(FileTree::root(), id);
        for (int32_t p = 0; p < tree.childCount(id); ++p) (void)tree.child(p, id);
    }
    (void)tree.restrictedFolders();
    (void)tree.verify();
}

// The live child links must form a tree below the root: no node is reached twice.
void walkChildren(const FileTree& tree) {
    std::vector<bool> visited(static_cast<size_t>(tree.count()), false);
    std::vector<int32_t> stack{0};
    while (!stack.empty()) {
        const int32_t x = stack.back();
        stack.pop_back();
        if (visited[static_cast<size_t>(x)]) __builtin_trap();
        visited[static_cast<size_t>(x)] = true;
        for (int32_t child : tree.childIndexes(NodeID{x})) stack.push_back(child);
    }
}

// The app grafts every tree that the helper sends into its own: the result must stay safe to
// walk, and to edit further.
void graftIntoHost(const FileTree& tree) {
    std::vector<FileTree::Node> nodes(4);
    const std::string_view names = "hostabf";
    nodes[0] = {0, 0, -1, 1, 2, 0, 4, static_cast<uint8_t>(FileTree::Kind::folder), 0};
    nodes[1] = {0, 4, 0, 3, 1, 0, 1, static_cast<uint8_t>(FileTree::Kind::folder), 0};
    nodes[2] = {4096, 5, 0, 0, 0, 0, 1, static_cast<uint8_t>(FileTree::Kind::file), 0};
    nodes[3] = {8192, 6, 1, 0, 0, 0, 1, static_cast<uint8_t>(FileTree::Kind::file), 0};
    FileTree host("/host", std::move(nodes), std::vector<uint8_t>(names.begin(), names.end()));
    host.finish();
    host.replaceContents(NodeID{1}, tree, true);
    walkChildren(host);
    for (int32_t i = 1; i < host.count() && i < 64; ++i) {
        if (!host.isLive(NodeID{i})) continue;
        host.remove(NodeID{i});
        walkChildren(host);
        (void)host.restore(NodeID{i});
    }
    readEveryNode(host);
    walkChildren(host);
    host.writeCSV(FileTree::root(), "/dev/null");
}

// Every byte of a decoded block is kept; only a root path that is not UTF-8 is repaired.
void reencode(const FileTree& tree, std::span<const uint8_t> block) {
    uint64_t rootBytes;
    std::memcpy(&rootBytes, block.data() + 32, sizeof rootBytes);
    const std::string_view sent(reinterpret_cast<const char*>(block.data()) + block.size() - rootBytes, rootBytes);
    if (tree.rootPath() != repairUtf8(sent)) __builtin_trap();
    if (!isValidUtf8(sent)) return;
    const std::vector<uint8_t> again = tree.transferData();
    if (again.size() != block.size() || std::memcmp(again.data(), block.data(), block.size()) != 0) __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> block(data, size);
    try {
        const FileTree tree(block);
        readEveryNode(tree);
        walkChildren(tree);
        reencode(tree, block);
        tree.writeCSV(FileTree::root(), "/dev/null");
        graftIntoHost(tree);
    } catch (const FileTree::TransferError&) {
    }
    return 0;
}
