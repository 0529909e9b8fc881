#include "file_tree.h"

#include "utf8.h"

#include <bit>
#include <cstring>
#include <string>
#include <vector>

namespace hollowmere {

// Node records travel as their in-memory images, so both ends must share this layout.
static_assert(std::endian::native == std::endian::little, "the transfer format assumes a little-endian host");

namespace {

using Node = FileTree::Node;

constexpr uint32_t transferMagic = 0x57485431; // "1THW"
constexpr uint32_t recordSize = sizeof(Node);
constexpr uint64_t maxRootPathBytes = 1 << 20;

struct Header {
    uint32_t magic;
    uint32_t recordSize;
    uint64_t nodeCount;
    uint64_t nameBytes;
    uint64_t orderCount;
    uint64_t rootPathBytes;
};
static_assert(sizeof(Header) == 40);

// Where each part lies in a block whose counts and length have been checked.
struct Parts {
    size_t nodeCount;
    size_t nameBytes;
    size_t rootPathBytes;
    const uint8_t* nodes;
    const uint8_t* names;
    const uint8_t* order;
    const uint8_t* rootPath;
};

[[noreturn]] void malformed(std::string message) { throw FileTree::TransferError::malformed(std::move(message)); }

std::string at(const char* what, size_t index) { return what + std::to_string(index); }

// Reads through memcpy: the block has no alignment guarantee.
Node nodeAt(const Parts& parts, size_t i) {
    Node node;
    std::memcpy(&node, parts.nodes + i * sizeof(Node), sizeof(Node));
    return node;
}

int32_t parentAt(const Parts& parts, size_t i) {
    int32_t parent;
    std::memcpy(&parent, parts.nodes + i * sizeof(Node) + offsetof(Node, parent), sizeof parent);
    return parent;
}

int32_t orderAt(const Parts& parts, size_t k) {
    int32_t entry;
    std::memcpy(&entry, parts.order + k * sizeof entry, sizeof entry);
    return entry;
}

bool nameInRange(const Node& node, size_t nameBytes) {
    return uint64_t{node.nameStart} + node.nameLength <= nameBytes;
}

bool childrenInRange(const Node& node, size_t nodeCount) {
    return node.firstChild >= 0 && node.childCount >= 0 &&
           int64_t{node.firstChild} + node.childCount <= static_cast<int64_t>(nodeCount);
}

Parts checkedHeader(std::span<const uint8_t> block) {
    if (block.data() == nullptr || block.size() < sizeof(Header)) malformed("short header");
    Header header;
    std::memcpy(&header, block.data(), sizeof header);
    if (header.magic != transferMagic) malformed("not a Hollowmere tree");
    if (header.recordSize != recordSize) malformed("another layout");
    const uint64_t n = header.nodeCount;
    if (n < 1 || n > FileTree::maxNodes || header.orderCount != n || header.nameBytes > FileTree::maxNameBytes ||
        header.rootPathBytes > maxRootPathBytes) {
        malformed("bad counts");
    }
    // Cannot overflow: every count is bounded above.
    const uint64_t expected = sizeof(Header) + (recordSize + sizeof(int32_t)) * n + header.nameBytes + header.rootPathBytes;
    if (block.size() != expected) {
        malformed("length " + std::to_string(block.size()) + ", expected " + std::to_string(expected));
    }
    Parts parts{};
    parts.nodeCount = static_cast<size_t>(n);
    parts.nameBytes = static_cast<size_t>(header.nameBytes);
    parts.rootPathBytes = static_cast<size_t>(header.rootPathBytes);
    parts.nodes = block.data() + sizeof(Header);
    parts.names = parts.nodes + recordSize * parts.nodeCount;
    parts.order = parts.names + parts.nameBytes;
    parts.rootPath = parts.order + sizeof(int32_t) * parts.nodeCount;
    return parts;
}

// Every check runs on the block itself, so a rejected block costs no allocation of its size.
Parts checkedParts(std::span<const uint8_t> block) {
    const Parts parts = checkedHeader(block);
    const size_t n = parts.nodeCount;

    for (size_t i = 0; i < n; ++i) {
        if (!FileTree::isValidKind(parts.nodes[i * sizeof(Node) + offsetof(Node, kind)])) malformed(at("bad kind at ", i));
    }

    const Node root = nodeAt(parts, 0);
    if (!nameInRange(root, parts.nameBytes)) malformed(at("name out of range at ", 0));
    if (root.parent != -1) malformed("root with a parent");
    if (!childrenInRange(root, n)) malformed(at("children out of range at ", 0));
    for (size_t i = 1; i < n; ++i) {
        const Node node = nodeAt(parts, i);
        if (!nameInRange(node, parts.nameBytes)) malformed(at("name out of range at ", i));
        if (node.parent < 0 || static_cast<size_t>(node.parent) >= i) malformed(at("bad parent at ", i));
        if (!childrenInRange(node, n)) malformed(at("children out of range at ", i));
    }

    for (size_t k = 0; k < n; ++k) {
        const int32_t entry = orderAt(parts, k);
        if (entry < 0 || static_cast<size_t>(entry) >= n) malformed("order out of range");
    }

    // The checks above keep every index inside the arrays, but a child run could still name
    // the node itself, an ancestor, or one node twice: walks through children() would then
    // never end or revisit whole subtrees. Requiring that each live child names its lister as
    // parent (parents precede children) and appears once makes the child links a forest; and
    // order[0] is the root, which grafting relies on when it drops a tree's first position.
    if (orderAt(parts, 0) != 0) malformed("root not first in order");
    std::vector<bool> listed(n, false);
    for (size_t p = 0; p < n; ++p) {
        const Node node = nodeAt(parts, p);
        const auto first = static_cast<size_t>(node.firstChild);
        const auto end = first + static_cast<size_t>(node.childCount);
        for (size_t k = first; k < end; ++k) {
            const auto child = static_cast<size_t>(orderAt(parts, k));
            if (parentAt(parts, child) != static_cast<int32_t>(p)) malformed(at("foreign child at ", p));
            if (listed[child]) malformed(at("repeated child at ", p));
            listed[child] = true;
        }
    }
    return parts;
}

} // namespace

std::vector<uint8_t> FileTree::transferData() const {
    const Header header{transferMagic, recordSize, nodes_.size(), names_.size(), order_.size(), rootPath_.size()};
    const uint64_t total = sizeof header + recordSize * nodes_.size() + names_.size() +
                           sizeof(int32_t) * order_.size() + rootPath_.size();
    std::vector<uint8_t> block(static_cast<size_t>(total));
    uint8_t* out = block.data();
    const auto append = [&out](const void* data, size_t bytes) {
        if (bytes > 0) std::memcpy(out, data, bytes);
        out += bytes;
    };
    append(&header, sizeof header);
    append(nodes_.data(), recordSize * nodes_.size());
    append(names_.data(), names_.size());
    append(order_.data(), sizeof(int32_t) * order_.size());
    append(rootPath_.data(), rootPath_.size());
    return block;
}

FileTree::FileTree(std::span<const uint8_t> transferData) {
    const Parts parts = checkedParts(transferData);
    const size_t n = parts.nodeCount;
    std::vector<Node> nodes(n);
    std::memcpy(nodes.data(), parts.nodes, recordSize * n);
    std::vector<uint8_t> names(parts.names, parts.names + parts.nameBytes);
    std::vector<int32_t> order(n);
    std::memcpy(order.data(), parts.order, sizeof(int32_t) * n);
    const std::string_view rootPath(reinterpret_cast<const char*>(parts.rootPath), parts.rootPathBytes);
    // Taken as sent: the tree is not finished again.
    *this = FileTree(repairUtf8(rootPath), std::move(nodes), std::move(names), std::move(order));
}

} // namespace hollowmere
