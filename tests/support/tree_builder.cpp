#include "support/tree_builder.h"

#include <stdexcept>

namespace hollowmere::test {

namespace {

FileTree::Node makeNode(uint64_t size, uint32_t nameStart, int32_t parent, size_t nameLength, FileTree::Kind kind,
                        FileTree::Flags flags) {
    return FileTree::Node{size, nameStart, parent, 0, 0, 0, static_cast<uint16_t>(nameLength),
                          static_cast<uint8_t>(kind), static_cast<uint8_t>(flags)};
}

} // namespace

TreeBuilder::TreeBuilder(std::string rootPath, std::string_view rootName) : rootPath_(std::move(rootPath)) {
    names_.assign(rootName.begin(), rootName.end());
    nodes_.push_back(makeNode(0, 0, -1, rootName.size(), FileTree::Kind::folder, FileTree::Flags::none));
}

int32_t TreeBuilder::add(int32_t parent, std::initializer_list<Entry> children) {
    FileTree::Node& p = nodes_.at(static_cast<size_t>(parent));
    if (p.childCount != 0) throw std::logic_error("children of a node are added once");
    const auto first = static_cast<int32_t>(nodes_.size());
    p.firstChild = first;
    p.childCount = static_cast<int32_t>(children.size());
    for (const Entry& e : children) {
        const auto start = static_cast<uint32_t>(names_.size());
        names_.insert(names_.end(), e.name.begin(), e.name.end());
        nodes_.push_back(makeNode(e.size, start, parent, e.name.size(), e.kind, e.flags));
    }
    return first;
}

void TreeBuilder::setFlags(int32_t node, FileTree::Flags flags) {
    nodes_.at(static_cast<size_t>(node)).flags = static_cast<uint8_t>(flags);
}

FileTree TreeBuilder::buildUnfinished() const { return FileTree(rootPath_, nodes_, names_); }

FileTree TreeBuilder::build() const {
    FileTree tree = buildUnfinished();
    tree.finish();
    return tree;
}

} // namespace hollowmere::test
