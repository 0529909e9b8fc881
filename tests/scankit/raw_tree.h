#pragma once

#include "scankit/file_tree.h"

#include <numeric>
#include <string>
#include <string_view>
#include <vector>

namespace hollowmere::test {

// A tree laid out node by node exactly as given, with no finishing: for the shapes that edits
// leave behind (removed tails, regrafted runs) and for blocks with chosen field values.
class RawTree {
public:
    using Kind = FileTree::Kind;
    using Flags = FileTree::Flags;

    explicit RawTree(std::string rootPath) : rootPath_(std::move(rootPath)) {}

    int32_t add(std::string_view name, Kind kind, uint64_t size, int32_t parent, int32_t firstChild = 0,
                int32_t childCount = 0, uint32_t items = 0, Flags flags = Flags::none) {
        FileTree::Node node{};
        node.size = size;
        node.nameStart = static_cast<uint32_t>(names_.size());
        node.parent = parent;
        node.firstChild = firstChild;
        node.childCount = childCount;
        node.items = items;
        node.nameLength = static_cast<uint16_t>(name.size());
        node.kind = static_cast<uint8_t>(kind);
        node.flags = static_cast<uint8_t>(flags);
        names_.insert(names_.end(), name.begin(), name.end());
        nodes_.push_back(node);
        return static_cast<int32_t>(nodes_.size() - 1);
    }

    // With the identity order unless one is given.
    FileTree build(std::vector<int32_t> order = {}) const {
        if (order.empty()) {
            order.resize(nodes_.size());
            std::iota(order.begin(), order.end(), 0);
        }
        return FileTree(rootPath_, nodes_, names_, std::move(order));
    }

private:
    std::string rootPath_;
    std::vector<FileTree::Node> nodes_;
    std::vector<uint8_t> names_;
};

// A finished tree after two edits: file b (7 bytes) was removed from the root, and folder a
// was rescanned as administrator, so its old children x and y stay behind, removed, and its
// new children x' (12) and z (3) follow them. Its root path lies inside a package.
inline FileTree editedTree() {
    using Kind = FileTree::Kind;
    using Flags = FileTree::Flags;
    RawTree raw("/srv/Mail.app/data");
    raw.add("data", Kind::folder, 15, -1, 1, 1, 3);
    raw.add("a", Kind::folder, 15, 0, 5, 2, 2, Flags::readAsAdministrator);
    raw.add("b", Kind::file, 7, 0, 0, 0, 0, Flags::removed);
    raw.add("x", Kind::file, 10, 1, 0, 0, 0, Flags::removed);
    raw.add("y", Kind::file, 5, 1, 0, 0, 0, Flags::removed | Flags::otherNames);
    raw.add("x", Kind::file, 12, 1);
    raw.add("z", Kind::file, 3, 1, 0, 0, 0, Flags::hardLink);
    return raw.build();
}

} // namespace hollowmere::test
