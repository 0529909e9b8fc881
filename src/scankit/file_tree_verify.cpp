#include "file_tree.h"

#include <string>

namespace hollowmere {

namespace {

std::string at(size_t i, const char* what) { return "node " + std::to_string(i) + ": " + what; }

} // namespace

std::optional<std::string> FileTree::verify() const {
    const size_t n = nodes_.size();
    if (n == 0) return "no nodes";
    if (n > maxNodes) return "too many nodes";
    const Node& root = nodes_[0];
    if (root.parent != -1) return "root has a parent";
    if (root.kind != static_cast<uint8_t>(Kind::folder)) return "root is not a folder";
    if (order_.size() != n) return "order has " + std::to_string(order_.size()) + " entries";
    if (order_[0] != 0) return "order[0] is not the root";

    constexpr auto removedBit = static_cast<uint8_t>(Flags::removed);
    std::vector<uint64_t> liveSize(n, 0);
    std::vector<uint64_t> liveItems(n, 0);
    std::vector<bool> seen(n, false);

    for (size_t i = 0; i < n; ++i) {
        const Node& node = nodes_[i];
        if (!isValidKind(node.kind)) return at(i, "invalid kind");
        if (uint64_t{node.nameStart} + node.nameLength > names_.size()) return at(i, "name out of bounds");
        if (node.childCount < 0) return at(i, "negative child count");
        if (i > 0 && (node.parent < 0 || static_cast<size_t>(node.parent) >= i)) {
            return at(i, "parent does not precede it");
        }
        const bool container = isContainerKind(static_cast<Kind>(node.kind));
        if (!container && (node.childCount != 0 || node.items != 0)) return at(i, "non-container with children");
        if (order_[i] < 0 || static_cast<size_t>(order_[i]) >= n) return "order entry out of range";
        if (seen[static_cast<size_t>(order_[i])]) return "order is not a permutation";
        seen[static_cast<size_t>(order_[i])] = true;
    }

    // Each container's current run of children: from firstChild while the parent matches.
    std::vector<size_t> runEnd(n, 0);
    for (size_t p = 0; p < n; ++p) {
        const auto first = static_cast<size_t>(nodes_[p].firstChild);
        size_t end = first;
        while (end < n && nodes_[end].parent == static_cast<int32_t>(p)) ++end;
        runEnd[p] = end;
    }

    // Siblings share the positions of their index run, so an order entry and its position
    // always name children of the same node.
    for (size_t k = 1; k < n; ++k) {
        if (nodes_[static_cast<size_t>(order_[k])].parent != nodes_[k].parent) {
            return "order position " + std::to_string(k) + " holds a child of another node";
        }
    }

    // A node is reached when its parent is and it lies in the parent's current run. Old runs
    // left behind by a rescan, and everything below them, are not: they are dead for good and
    // their sums are stale. A removed node that is reached keeps sound sums for a restore.
    std::vector<bool> reached(n, false);
    reached[0] = true;
    for (size_t i = 1; i < n; ++i) {
        const Node& node = nodes_[i];
        const auto p = static_cast<size_t>(node.parent);
        // Children outside the parent's current run (an older run before a graft) are removed.
        const bool inRun = i >= static_cast<size_t>(nodes_[p].firstChild) && i < runEnd[p];
        if (!inRun && !(node.flags & removedBit)) return at(i, "live child outside its parent's run");
        reached[i] = inRun && reached[p];
        if (!(node.flags & removedBit)) {
            liveSize[p] += node.size;
            liveItems[p] += uint64_t{node.items} + 1;
        }
    }

    for (size_t p = 0; p < n; ++p) {
        const Node& node = nodes_[p];
        if (!isContainerKind(static_cast<Kind>(node.kind)) || !reached[p]) continue;
        if (node.size != liveSize[p]) return at(p, "size is not the sum of its live children");
        if (node.items != liveItems[p]) return at(p, "items is not the count of its live descendants");
        const auto first = static_cast<size_t>(node.firstChild);
        const size_t end = runEnd[p];
        const size_t live = static_cast<size_t>(node.childCount);
        if (first + live > end) return at(p, "child count exceeds its run");
        uint64_t previous = UINT64_MAX;
        for (size_t k = first; k < end; ++k) {
            const auto c = static_cast<size_t>(order_[k]);
            if (c < first || c >= end) return at(p, "order mixes in a node outside the children's run");
            const bool removed = nodes_[c].flags & removedBit;
            if (k < first + live) {
                if (removed) return at(p, "removed child among the live ones");
                if (nodes_[c].size > previous) return at(p, "children not in display order");
                previous = nodes_[c].size;
                constexpr auto carried = static_cast<uint8_t>(Flags::dataless | Flags::containsDataless);
                if ((nodes_[c].flags & carried) && !(node.flags & static_cast<uint8_t>(Flags::containsDataless))) {
                    return at(p, "missing containsDataless");
                }
            } else if (!removed) {
                return at(p, "live child after the live run");
            }
        }
    }
    return std::nullopt;
}

} // namespace hollowmere
