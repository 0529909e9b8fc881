#pragma once

#include "scankit/file_tree.h"
#include "sunburstkit/sunburst_source.h"

namespace hollowmere {

// A finished FileTree seen as a sunburst source: children in the tree's display order, and
// folders and packages with children opened in the next ring. It only borrows the tree, so it
// lives no longer than the layout being built from it.
class TreeSource final : public SunburstSource {
public:
    explicit TreeSource(const FileTree& tree)
        : tree_(tree) {}
    explicit TreeSource(FileTree&&) = delete;

    uint64_t size(int32_t node) const override;
    int32_t childCount(int32_t node) const override;
    int32_t child(int32_t position, int32_t node) const override;
    bool isContainer(int32_t node) const override;

private:
    const FileTree& tree_;
};

} // namespace hollowmere
