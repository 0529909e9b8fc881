#include "largest_items.h"

#include "top_items.h"

#include <array>

namespace hollowmere {

const std::vector<NodeID>& LargestItems::items(std::optional<ItemCategory> in) const {
    static const std::vector<NodeID> none;
    if (!in) return all;
    const auto found = byCategory.find(*in);
    return found == byCategory.end() ? none : found->second;
}

LargestItems FileTree::largestItems(int limit) const {
    TopItems everything(limit);
    std::array<TopItems, allItemCategories.size()> perCategory = {
        TopItems(limit), TopItems(limit), TopItems(limit), TopItems(limit), TopItems(limit),
    };

    constexpr auto skipped = Flags::dataless | Flags::hardLink;
    // Depth-first over folders with an explicit stack; packages are single items and never
    // entered, and the root is never a candidate.
    std::vector<int32_t> folders{0};
    while (!folders.empty()) {
        const NodeID folder{folders.back()};
        folders.pop_back();
        for (const int32_t index : childIndexes(folder)) {
            const NodeID id{index};
            const Node& n = node(id);
            const auto k = static_cast<Kind>(n.kind);
            if (k == Kind::folder) {
                if (n.childCount > 0) folders.push_back(index);
                continue;
            }
            if (k != Kind::file && k != Kind::package) continue;
            if (n.size == 0 || intersects(static_cast<Flags>(n.flags), skipped)) continue;
            everything.offer(index, n.size);
            if (const auto category = classifyItem(nameBytes(id), k == Kind::package)) {
                perCategory[static_cast<size_t>(*category)].offer(index, n.size);
            }
        }
    }

    LargestItems result;
    result.all = everything.sorted();
    for (const ItemCategory category : allItemCategories) {
        result.byCategory.emplace(category, perCategory[static_cast<size_t>(category)].sorted());
    }
    return result;
}

} // namespace hollowmere
