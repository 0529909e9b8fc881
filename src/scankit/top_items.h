#pragma once

#include "file_tree.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace hollowmere {

// Keeps the `limit` largest of the entries offered to it: a min-heap whose root is the weakest
// entry kept (smallest size; among equal sizes, highest index). The result is exactly the first
// `limit` entries in the order size descending, then index ascending, whatever order the
// entries were offered in.
class TopItems {
public:
    struct Entry {
        uint64_t size;
        int32_t index;

        friend bool operator==(const Entry&, const Entry&) = default;
    };

    // Room for `limit` entries is reserved up front, up to `maxReserved`: a huge limit grows
    // the heap only as entries arrive instead of failing to reserve.
    static constexpr size_t maxReserved = 4096;

    explicit TopItems(std::ptrdiff_t limit);

    void offer(int32_t index, uint64_t size);

    // The kept entries, largest first, equal sizes by index ascending.
    std::vector<NodeID> sorted() const;

    std::ptrdiff_t limit() const { return limit_; }
    const std::vector<Entry>& heap() const { return heap_; }

    // Heap order: `a` comes before `b` when it is the weaker entry.
    static bool before(const Entry& a, const Entry& b) {
        return a.size < b.size || (a.size == b.size && a.index > b.index);
    }

private:
    std::ptrdiff_t limit_;
    std::vector<Entry> heap_;
};

} // namespace hollowmere
