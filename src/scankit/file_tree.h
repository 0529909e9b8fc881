#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace hollowmere {

// A node's public handle: its index in the tree's node array. Indexes are never reused.
struct NodeID {
    int32_t index = 0;

    friend constexpr auto operator<=>(NodeID, NodeID) = default;
};

using Clock = std::chrono::system_clock;
using Date = Clock::time_point;

enum class ItemCategory : uint8_t; // item_category.h
struct LargestItems;               // largest_items.h

// The result of every scan: one flat array of 32-byte records, all names back to back in one
// byte buffer, and a display permutation (`order`) that lists each folder's children largest
// first. Nothing is allocated per item and nothing walks the tree recursively.
class FileTree {
public:
    enum class Kind : uint8_t { file = 0, folder = 1, package = 2, symlink = 3, other = 4 };
    static constexpr uint8_t kindCount = 5;

    enum class Flags : uint8_t {
        none = 0,
        restricted = 0x01,
        mountPoint = 0x02,
        dataless = 0x04,
        hardLink = 0x08,
        removed = 0x10,
        readAsAdministrator = 0x20,
        otherNames = 0x40,
        containsDataless = 0x80,
    };

    // One item. The layout is also the transfer format's byte layout, so it is fixed.
    struct Node {
        uint64_t size;       // allocated bytes; for containers the sum over live children
        uint32_t nameStart;  // offset of the name in `names`
        int32_t parent;      // -1 for the root
        int32_t firstChild;  // start of the children's index run
        int32_t childCount;  // live children
        uint32_t items;      // live descendants
        uint16_t nameLength; // name bytes
        uint8_t kind;        // raw Kind
        uint8_t flags;       // raw Flags

        friend bool operator==(const Node&, const Node&) = default;
    };

    // A node's path as a file location; containers are marked as directories.
    struct FileUrl {
        std::string path;
        bool isDirectory = false;

        friend bool operator==(const FileUrl&, const FileUrl&) = default;
    };

    static constexpr size_t maxNodes = 0x7fffffff;
    static constexpr uint64_t maxNameBytes = 0xffffffffull;
    static constexpr size_t maxNameLength = 0xffff;

    FileTree(std::string rootPath, std::vector<Node> nodes, std::vector<uint8_t> names);
    // A finished tree from its parts, as read back from storage; verify() tells if it is sound.
    FileTree(std::string rootPath, std::vector<Node> nodes, std::vector<uint8_t> names, std::vector<int32_t> order);

    // A transfer block that the decoder rejects; two errors are equal when their messages are.
    class TransferError : public std::exception {
    public:
        enum class Case { malformed };

        static TransferError malformed(std::string message) { return TransferError(std::move(message)); }

        Case which() const { return Case::malformed; }
        const std::string& message() const { return message_; }
        const char* what() const noexcept override { return message_.c_str(); }

        friend bool operator==(const TransferError& a, const TransferError& b) { return a.message_ == b.message_; }

    private:
        explicit TransferError(std::string message) : message_(std::move(message)) {}
        std::string message_;
    };

    // Transfer format (file_tree_transfer.cpp): the tree's arrays end to end behind a 40-byte
    // header. Decoding validates every index before the tree exists and throws TransferError;
    // it does not finish the tree again. scannedAt is the time of decoding.
    explicit FileTree(std::span<const uint8_t> transferData);
    std::vector<uint8_t> transferData() const;

    // Writes `from` and its live subtree as CSV to the file at `to` (file_tree_csv.cpp),
    // replacing it. Throws std::system_error when the file cannot be opened or written.
    void writeCSV(NodeID from, const std::string& to) const;

    // Rolls sizes, item counts and containsDataless up and builds the display order.
    void finish();

    // Sets readAsAdministrator on the root, so every node reads as read by the helper.
    void markRootReadAsAdministrator();

    // Edits in place (file_tree_edits.cpp). Nodes are never deleted or renumbered: removal sets
    // `removed` and keeps the node in its parent's removed tail of `order`; a rescan appends.
    // Takes a node and its subtree out; ignores the root and nodes already removed.
    void remove(NodeID id);
    // Puts a removed node back while it still stands in its parent's removed tail.
    bool restore(NodeID id);
    // Replaces the subtree of `of` by `with`, whose root stands for `of` itself. Throws
    // std::length_error (changing nothing) when the result would exceed the tree's limits.
    void replaceContents(NodeID of, const FileTree& with, bool readAsAdministrator);
    // replaceContents, only when `tree`'s rootPath is exactly path(at); true when it replaced.
    bool graft(const FileTree& tree, NodeID at, bool readAsAdministrator);

    int32_t count() const { return static_cast<int32_t>(nodes_.size()); }
    static constexpr NodeID root() { return NodeID{0}; }
    uint64_t storageBytes() const;

    std::string name(NodeID id) const;
    std::string_view nameBytes(NodeID id) const;
    Kind kind(NodeID id) const { return static_cast<Kind>(node(id).kind); }
    Flags flags(NodeID id) const { return static_cast<Flags>(node(id).flags); }
    uint64_t size(NodeID id) const { return node(id).size; }
    uint32_t itemCount(NodeID id) const { return node(id).items; }
    int32_t childCount(NodeID id) const { return node(id).childCount; }
    std::optional<NodeID> parent(NodeID id) const;
    std::vector<NodeID> children(NodeID id) const;
    // The live children's indexes in display order, without copying.
    std::span<const int32_t> childIndexes(NodeID id) const;
    NodeID child(int32_t position, NodeID of) const;
    bool isContainer(NodeID id) const { return isContainerKind(kind(id)); }

    std::string path(NodeID id) const;
    FileUrl url(NodeID id) const;
    std::vector<NodeID> ancestors(NodeID id) const;
    bool isAncestor(NodeID ancestor, NodeID of) const;
    bool isLive(NodeID id) const;
    bool isInsidePackage(NodeID id) const;
    bool isReadAsAdministrator(NodeID id) const;
    std::vector<NodeID> restrictedFolders() const;
    uint64_t freedByTrashing(NodeID id) const;
    Date scannedSince(NodeID id) const;

    // The category of a file or package by its name; other kinds have none (item_category.cpp).
    std::optional<ItemCategory> category(NodeID id) const;
    // The largest qualifying items, at most `limit` per list (largest_items.cpp).
    LargestItems largestItems(int limit) const;

    const std::string& rootPath() const { return rootPath_; }
    bool rootIsPackagePart() const { return rootIsPackagePart_; }
    Date scannedAt() const { return scannedAt_; }
    void setScannedAt(Date date) { scannedAt_ = date; }

    const std::vector<Node>& nodes() const { return nodes_; }
    const std::vector<uint8_t>& names() const { return names_; }
    const std::vector<int32_t>& order() const { return order_; }
    const std::unordered_map<int32_t, Date>& rescannedAt() const { return rescannedAt_; }

    const Node& node(NodeID id) const { return nodes_[static_cast<size_t>(id.index)]; }

    static constexpr bool isContainerKind(Kind k) { return k == Kind::folder || k == Kind::package; }
    static bool isValidKind(uint8_t raw) { return raw < kindCount; }

    // Checks every invariant of a finished tree; returns the first violation, or nothing.
    std::optional<std::string> verify() const;

    friend bool operator==(const FileTree&, const FileTree&);

private:
    Node& mutableNode(NodeID id) { return nodes_[static_cast<size_t>(id.index)]; }

    std::vector<Node> nodes_;
    std::vector<uint8_t> names_;
    std::vector<int32_t> order_;
    std::string rootPath_;
    bool rootIsPackagePart_ = false;
    Date scannedAt_;
    std::unordered_map<int32_t, Date> rescannedAt_;
};

static_assert(sizeof(FileTree::Node) == 32);
static_assert(offsetof(FileTree::Node, size) == 0);
static_assert(offsetof(FileTree::Node, nameStart) == 8);
static_assert(offsetof(FileTree::Node, parent) == 12);
static_assert(offsetof(FileTree::Node, firstChild) == 16);
static_assert(offsetof(FileTree::Node, childCount) == 20);
static_assert(offsetof(FileTree::Node, items) == 24);
static_assert(offsetof(FileTree::Node, nameLength) == 28);
static_assert(offsetof(FileTree::Node, kind) == 30);
static_assert(offsetof(FileTree::Node, flags) == 31);

constexpr FileTree::Flags operator|(FileTree::Flags a, FileTree::Flags b) {
    return static_cast<FileTree::Flags>(static_cast<uint8_t>(a) | static_cast<uint8_t>(b));
}
constexpr FileTree::Flags operator&(FileTree::Flags a, FileTree::Flags b) {
    return static_cast<FileTree::Flags>(static_cast<uint8_t>(a) & static_cast<uint8_t>(b));
}
constexpr FileTree::Flags operator~(FileTree::Flags a) {
    return static_cast<FileTree::Flags>(static_cast<uint8_t>(~static_cast<uint8_t>(a)));
}
constexpr FileTree::Flags& operator|=(FileTree::Flags& a, FileTree::Flags b) { return a = a | b; }
constexpr FileTree::Flags& operator&=(FileTree::Flags& a, FileTree::Flags b) { return a = a & b; }

// True when every bit of `wanted` is in `set`.
constexpr bool contains(FileTree::Flags set, FileTree::Flags wanted) {
    return (set & wanted) == wanted;
}
// True when any bit of `wanted` is in `set`.
constexpr bool intersects(FileTree::Flags set, FileTree::Flags wanted) {
    return (set & wanted) != FileTree::Flags::none;
}

} // namespace hollowmere

template <> struct std::hash<hollowmere::NodeID> {
    size_t operator()(hollowmere::NodeID id) const noexcept { return std::hash<int32_t>{}(id.index); }
};
