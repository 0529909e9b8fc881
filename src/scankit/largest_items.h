#pragma once

#include "file_tree.h"
#include "item_category.h"

#include <map>
#include <optional>
#include <vector>

namespace hollowmere {

// The largest single items of a tree, of all kinds and per category, each list largest first
// (equal sizes by node index). Built by FileTree::largestItems.
struct LargestItems {
    std::vector<NodeID> all;
    // After a build, one entry for every category, empty where nothing qualified.
    std::map<ItemCategory, std::vector<NodeID>> byCategory;

    // The value before anything was built: no items and no category entries.
    static LargestItems empty() { return {}; }

    // `all` for no category; otherwise that category's list, empty when it has no entry.
    const std::vector<NodeID>& items(std::optional<ItemCategory> in) const;

    friend bool operator==(const LargestItems&, const LargestItems&) = default;
};

} // namespace hollowmere
