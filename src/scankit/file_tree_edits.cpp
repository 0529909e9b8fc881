#include "file_tree.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

namespace hollowmere {

namespace {

using Node = FileTree::Node;

constexpr auto removedBit = static_cast<uint8_t>(FileTree::Flags::removed);
constexpr auto datalessBits =
    static_cast<uint8_t>(FileTree::Flags::dataless | FileTree::Flags::containsDataless);
// On a rescanned folder these describe the folder's own entry and stay; these come from the scan.
constexpr uint8_t keptOnReplace = 0x5a;  // mountPoint, hardLink, removed, otherNames
constexpr uint8_t takenOnReplace = 0x85; // restricted, dataless, containsDataless

bool isRemoved(const Node& n) {
    return n.flags & removedBit;
}

// A change of size as magnitude and direction: sizes use the whole unsigned 64-bit range.
struct SizeChange {
    uint64_t amount = 0;
    bool shrinks = false;

    static SizeChange between(uint64_t from, uint64_t to) {
        return to >= from ? SizeChange{to - from, false} : SizeChange{from - to, true};
    }
    uint64_t applied(uint64_t size) const {
        if (shrinks) return size > amount ? size - amount : 0;
        return size > std::numeric_limits<uint64_t>::max() - amount
                   ? std::numeric_limits<uint64_t>::max()
                   : size + amount;
    }
};

uint32_t itemsApplied(uint32_t items, int64_t change) {
    const int64_t result = int64_t{items} + change;
    return static_cast<uint32_t>(
        std::clamp<int64_t>(result, 0, std::numeric_limits<uint32_t>::max()));
}

// Grows to at least `needed`, and by at least half, so that a series of rescans does not copy
// the arrays every time.
template <class T> void growFor(std::vector<T>& v, size_t needed) {
    if (v.capacity() >= needed) return;
    v.reserve(std::max(needed, v.capacity() + v.capacity() / 2));
}

// The live children of a node are positions [firstChild, firstChild + childCount) of `order`,
// kept largest first. These work on that run without allocating.
class Runs {
public:
    Runs(std::vector<Node>& nodes, std::vector<int32_t>& order)
        : nodes_(nodes)
        , order_(order) {}

    // Position of x among its parent's live children, or -1. `size` is x's size as the run was
    // last ordered by, so a binary search narrows the scan to x's equals.
    int64_t livePosition(int32_t x, uint64_t size) const {
        const Node& p = nodes_[static_cast<size_t>(nodes_[static_cast<size_t>(x)].parent)];
        if (p.childCount <= 0) return -1;
        const auto first = order_.begin() + p.firstChild;
        const auto last = first + p.childCount;
        auto it = std::partition_point(first, last, [&](int32_t k) { return sizeOf(k) > size; });
        for (; it != last && sizeOf(*it) == size; ++it) {
            if (*it == x) return it - order_.begin();
        }
        // Not where its size puts it: a run ordered by someone else, or x is not live.
        const auto found = std::find(first, last, x);
        return found == last ? -1 : found - order_.begin();
    }

    // Moves the entry at `position` past strictly larger or smaller siblings, so that equal
    // sizes keep their relative order.
    void moveIntoPlace(const Node& parent, size_t position) {
        const auto first = static_cast<size_t>(parent.firstChild);
        const size_t end = first + static_cast<size_t>(parent.childCount);
        const uint64_t size = sizeOf(order_[position]);
        size_t i = position;
        while (i + 1 < end && sizeOf(order_[i + 1]) > size) {
            std::swap(order_[i], order_[i + 1]);
            ++i;
        }
        while (i > first && sizeOf(order_[i - 1]) < size) {
            std::swap(order_[i], order_[i - 1]);
            --i;
        }
    }

    // Puts x back in size order after its size changed from `oldSize`.
    void reposition(int32_t x, uint64_t oldSize) {
        const int64_t position = livePosition(x, oldSize);
        if (position < 0) return;
        moveIntoPlace(nodes_[static_cast<size_t>(nodes_[static_cast<size_t>(x)].parent)],
                      static_cast<size_t>(position));
    }

    // Applies a change of x's subtree to x's ancestors from `from` upwards. A removed node's
    // parent does not count it, so the walk ends at the first removed node; for a live start
    // that is the root.
    void propagate(int32_t from, SizeChange size, int64_t items) {
        if (size.amount == 0 && items == 0) return;
        for (int32_t i = from; i >= 0;) {
            Node& n = nodes_[static_cast<size_t>(i)];
            const uint64_t oldSize = n.size;
            n.size = size.applied(n.size);
            n.items = itemsApplied(n.items, items);
            if (isRemoved(n) || n.parent < 0) return;
            reposition(i, oldSize);
            i = n.parent;
        }
    }

private:
    uint64_t sizeOf(int32_t k) const { return nodes_[static_cast<size_t>(k)].size; }

    std::vector<Node>& nodes_;
    std::vector<int32_t>& order_;
};

} // namespace

void FileTree::remove(NodeID id) {
    if (id.index <= 0 || id.index >= count()) return;
    Node& x = nodes_[static_cast<size_t>(id.index)];
    if (isRemoved(x) || x.parent < 0) return;
    x.flags |= removedBit;

    Runs runs(nodes_, order_);
    Node& p = nodes_[static_cast<size_t>(x.parent)];
    if (const int64_t i = runs.livePosition(id.index, x.size); i >= 0) {
        // x becomes the first of the removed tail; the live siblings keep their order.
        const auto at = order_.begin() + i;
        std::rotate(at, at + 1, order_.begin() + p.firstChild + p.childCount);
        --p.childCount;
    }
    runs.propagate(x.parent, SizeChange{x.size, true}, -(int64_t{x.items} + 1));
}

bool FileTree::restore(NodeID id) {
    if (id.index <= 0 || id.index >= count()) return false;
    Node& x = nodes_[static_cast<size_t>(id.index)];
    if (!isRemoved(x) || x.parent < 0 || x.parent >= count()) return false;
    for (int32_t a = x.parent; a >= 0; a = nodes_[static_cast<size_t>(a)].parent) {
        if (isRemoved(nodes_[static_cast<size_t>(a)])) return false;
    }

    Node& p = nodes_[static_cast<size_t>(x.parent)];
    const auto tail = static_cast<size_t>(p.firstChild) + static_cast<size_t>(p.childCount);
    size_t k = tail;
    for (;; ++k) {
        if (k >= order_.size()) return false;
        const int32_t entry = order_[k];
        if (entry == id.index) break;
        const Node& sibling = nodes_[static_cast<size_t>(entry)];
        if (sibling.parent != x.parent || !isRemoved(sibling)) return false;
    }

    std::swap(order_[tail], order_[k]);
    ++p.childCount;
    x.flags &= static_cast<uint8_t>(~removedBit);
    Runs runs(nodes_, order_);
    runs.moveIntoPlace(p, tail);
    runs.propagate(x.parent, SizeChange{x.size, false}, int64_t{x.items} + 1);
    return true;
}

void FileTree::replaceContents(NodeID of, const FileTree& with, bool readAsAdministrator) {
    if (&with == this) {
        // Appending a tree to itself would read arrays while they grow.
        const FileTree copy = with;
        replaceContents(of, copy, readAsAdministrator);
        return;
    }
    if (of.index < 0 || of.index >= count())
        throw std::out_of_range("replaceContents: no such node");
    if (with.order_.size() != with.nodes_.size() || with.nodes_.empty()) {
        throw std::invalid_argument("replaceContents: the new contents are not a finished tree");
    }
    const size_t added = with.nodes_.size() - 1;
    if (nodes_.size() + added > maxNodes ||
        uint64_t{names_.size()} + with.names_.size() > maxNameBytes) {
        throw std::length_error("replaceContents: the tree would hold too many items");
    }
    // Reserve first, so a failed allocation leaves the tree as it was.
    growFor(nodes_, nodes_.size() + added);
    growFor(order_, order_.size() + added);
    growFor(names_, names_.size() + with.names_.size());

    // The old subtree stops counting. Subtrees removed earlier are marked already.
    std::vector<int32_t> pending(childIndexes(of).begin(), childIndexes(of).end());
    while (!pending.empty()) {
        const int32_t k = pending.back();
        pending.pop_back();
        const auto live = childIndexes(NodeID{k});
        pending.insert(pending.end(), live.begin(), live.end());
        nodes_[static_cast<size_t>(k)].flags |= removedBit;
    }

    // Node k of `with` becomes node k + shift; its order runs line up with its node runs.
    const auto base = static_cast<int64_t>(nodes_.size());
    const int64_t shift = base - 1;
    const auto nameShift = static_cast<uint32_t>(names_.size());
    names_.insert(names_.end(), with.names_.begin(), with.names_.end());
    for (size_t k = 1; k < with.nodes_.size(); ++k) {
        Node n = with.nodes_[k];
        n.nameStart += nameShift;
        n.parent = n.parent == 0 ? of.index : static_cast<int32_t>(n.parent + shift);
        n.firstChild = static_cast<int32_t>(n.firstChild + shift);
        nodes_.push_back(n);
    }
    for (size_t j = 1; j < with.order_.size(); ++j)
        order_.push_back(static_cast<int32_t>(with.order_[j] + shift));

    rescannedAt_[of.index] = with.scannedAt_;
    for (const auto& [k, date] : with.rescannedAt_) {
        if (k > 0) rescannedAt_[static_cast<int32_t>(k + shift)] = date;
    }

    Node& target = nodes_[static_cast<size_t>(of.index)];
    const Node& fresh = with.nodes_[0];
    const uint64_t oldSize = target.size;
    const uint32_t oldItems = target.items;
    target.size = fresh.size;
    target.childCount = fresh.childCount;
    target.items = fresh.items;
    // A childless root's firstChild means nothing; past the end no old child can be found in
    // the folder's run (restore() looks there), so the replaced children stay out for good.
    target.firstChild =
        added == 0 ? static_cast<int32_t>(base) : static_cast<int32_t>(fresh.firstChild + shift);
    target.flags = static_cast<uint8_t>(
        (target.flags & keptOnReplace) | (fresh.flags & takenOnReplace) |
        (readAsAdministrator ? static_cast<uint8_t>(Flags::readAsAdministrator) : 0));

    if (fresh.flags & datalessBits) {
        for (int32_t a = target.parent; a >= 0; a = nodes_[static_cast<size_t>(a)].parent) {
            nodes_[static_cast<size_t>(a)].flags |= static_cast<uint8_t>(Flags::containsDataless);
        }
    }

    if (of.index == 0) return;
    Runs runs(nodes_, order_);
    runs.reposition(of.index, oldSize);
    // A removed folder is not counted by its parent: its new size waits for a restore.
    if (!isRemoved(target)) {
        runs.propagate(target.parent, SizeChange::between(oldSize, target.size),
                       int64_t{target.items} - int64_t{oldItems});
    }
}

bool FileTree::graft(const FileTree& tree, NodeID at, bool readAsAdministrator) {
    if (at.index < 0 || at.index >= count()) return false;
    if (path(at) != tree.rootPath_) return false;
    replaceContents(at, tree, readAsAdministrator);
    return true;
}

} // namespace hollowmere
