#pragma once

#include "scankit/file_tree.h"

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace hollowmere::test {

// Builds a tree by hand the way the scanner does: a folder's children are appended together,
// after their parent, with their own sizes; build() finishes it.
class TreeBuilder {
public:
    struct Entry {
        std::string_view name;
        FileTree::Kind kind = FileTree::Kind::file;
        uint64_t size = 0;
        FileTree::Flags flags = FileTree::Flags::none;
    };

    explicit TreeBuilder(std::string rootPath, std::string_view rootName = "root");

    // Appends the children of `parent` as one run; returns the index of the first.
    int32_t add(int32_t parent, std::initializer_list<Entry> children);
    void setFlags(int32_t node, FileTree::Flags flags);

    FileTree build() const;           // finished
    FileTree buildUnfinished() const; // sizes are each node's own, no order

private:
    std::string rootPath_;
    std::vector<FileTree::Node> nodes_;
    std::vector<uint8_t> names_;
};

} // namespace hollowmere::test
