#pragma once

#include "sunburstkit/sunburst_source.h"

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

namespace hollowmere::test {

// A sunburst source written out by hand. Sizes are given, never summed, so a test can make a
// folder larger than its children. A node is a container when it has children. Counts the
// children it hands out, to show how much of the tree a layout reads.
class ListSource final : public SunburstSource {
public:
    explicit ListSource(uint64_t rootSize) { nodes_.push_back({rootSize, {}}); }

    // Appends children of `parent`, which must come largest first; returns their indexes.
    std::vector<int32_t> add(int32_t parent, std::initializer_list<uint64_t> sizes) {
        std::vector<int32_t> added;
        for (uint64_t size : sizes)
            added.push_back(add(parent, size));
        return added;
    }
    int32_t add(int32_t parent, uint64_t size) {
        const auto index = static_cast<int32_t>(nodes_.size());
        nodes_.push_back({size, {}});
        nodes_[static_cast<size_t>(parent)].children.push_back(index);
        return index;
    }

    uint64_t size(int32_t node) const override { return at(node).size; }
    int32_t childCount(int32_t node) const override {
        return static_cast<int32_t>(at(node).children.size());
    }
    int32_t child(int32_t position, int32_t node) const override {
        ++childReads;
        return at(node).children.at(static_cast<size_t>(position));
    }
    bool isContainer(int32_t node) const override { return !at(node).children.empty(); }

    mutable int64_t childReads = 0;

private:
    struct Entry {
        uint64_t size;
        std::vector<int32_t> children;
    };
    const Entry& at(int32_t node) const { return nodes_.at(static_cast<size_t>(node)); }

    std::vector<Entry> nodes_;
};

} // namespace hollowmere::test
