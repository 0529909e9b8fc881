#include "top_items.h"

#include <algorithm>

namespace hollowmere {

TopItems::TopItems(std::ptrdiff_t limit) : limit_(limit) {
    if (limit_ > 0) heap_.reserve(std::min(static_cast<size_t>(limit_), maxReserved));
}

void TopItems::offer(int32_t index, uint64_t size) {
    if (limit_ <= 0) return;
    const Entry entry{size, index};

    if (static_cast<std::ptrdiff_t>(heap_.size()) < limit_) {
        heap_.push_back(entry);
        size_t slot = heap_.size() - 1;
        while (slot > 0) {
            const size_t parent = (slot - 1) / 2;
            if (!before(heap_[slot], heap_[parent])) break;
            std::swap(heap_[slot], heap_[parent]);
            slot = parent;
        }
        return;
    }

    // Full: the newcomer only displaces the weakest entry if it is stronger.
    if (!before(heap_[0], entry)) return;
    heap_[0] = entry;
    const size_t count = heap_.size();
    size_t slot = 0;
    for (;;) {
        size_t first = slot;
        const size_t left = 2 * slot + 1, right = left + 1;
        if (left < count && before(heap_[left], heap_[first])) first = left;
        if (right < count && before(heap_[right], heap_[first])) first = right;
        if (first == slot) break;
        std::swap(heap_[slot], heap_[first]);
        slot = first;
    }
}

std::vector<NodeID> TopItems::sorted() const {
    std::vector<Entry> entries = heap_;
    std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        return a.size > b.size || (a.size == b.size && a.index < b.index);
    });
    std::vector<NodeID> result;
    result.reserve(entries.size());
    for (const Entry& e : entries) result.push_back(NodeID{e.index});
    return result;
}

} // namespace hollowmere
