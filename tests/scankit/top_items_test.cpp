#include "scankit/top_items.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

using namespace hollowmere;

namespace {

using Offer = TopItems::Entry;

std::vector<NodeID> ids(std::initializer_list<int32_t> indexes) {
    std::vector<NodeID> result;
    for (int32_t i : indexes) result.push_back(NodeID{i});
    return result;
}

// Every slot's children come after it in the heap order: the root is the weakest entry.
void expectHeapOrdered(const TopItems& top) {
    const auto& heap = top.heap();
    for (size_t slot = 1; slot < heap.size(); ++slot) {
        EXPECT_FALSE(TopItems::before(heap[slot], heap[(slot - 1) / 2])) << "slot " << slot;
    }
}

// The first `limit` entries in the order size descending, then index ascending.
std::vector<NodeID> bruteForce(std::vector<Offer> offers, std::ptrdiff_t limit) {
    std::sort(offers.begin(), offers.end(), [](const Offer& a, const Offer& b) {
        return a.size > b.size || (a.size == b.size && a.index < b.index);
    });
    std::vector<NodeID> result;
    for (const Offer& o : offers) {
        if (static_cast<std::ptrdiff_t>(result.size()) >= limit) break;
        result.push_back(NodeID{o.index});
    }
    return result;
}

} // namespace

TEST(TopItems, KeepsTheLargestWithLowerIndexesWinningTies) {
    struct Case {
        const char* what;
        std::ptrdiff_t limit;
        std::vector<Offer> offers; // (size, index), in offering order
        std::vector<NodeID> expected;
    };
    const Case cases[] = {
        {"limit 0 keeps nothing", 0, {{10, 1}, {20, 2}}, {}},
        {"negative limit keeps nothing", -5, {{10, 1}}, {}},
        {"nothing offered", 3, {}, {}},
        {"fewer than the limit", 3, {{5, 7}, {9, 2}}, ids({2, 7})},
        {"smaller newcomer is turned away", 2, {{9, 1}, {8, 2}, {7, 3}}, ids({1, 2})},
        {"larger newcomer displaces the weakest", 2, {{7, 3}, {8, 2}, {9, 1}}, ids({1, 2})},
        {"equal size, lower index displaces", 2, {{9, 1}, {5, 8}, {5, 4}}, ids({1, 4})},
        {"equal size, higher index is turned away", 2, {{9, 1}, {5, 4}, {5, 8}}, ids({1, 4})},
        {"equal sizes listed by index", 4, {{5, 9}, {5, 3}, {7, 6}, {5, 1}, {5, 2}}, ids({6, 1, 2, 3})},
        {"the weakest of equal smallest goes first", 3, {{4, 1}, {4, 2}, {4, 3}, {6, 9}}, ids({9, 1, 2})},
        {"full 64-bit sizes", 2, {{UINT64_MAX, 5}, {0, 1}, {UINT64_MAX - 1, 2}}, ids({5, 2})},
    };
    for (const Case& c : cases) {
        TopItems top(c.limit);
        for (const Offer& o : c.offers) top.offer(o.index, o.size);
        EXPECT_EQ(top.sorted(), c.expected) << c.what;
        expectHeapOrdered(top);
    }
}

TEST(TopItems, OutcomeDoesNotDependOnOfferingOrder) {
    std::mt19937 random(20240611);
    // Few distinct sizes, so that ties decide many places.
    std::uniform_int_distribution<uint64_t> sizes(0, 40);
    std::vector<Offer> offers;
    for (int32_t i = 0; i < 500; ++i) offers.push_back({sizes(random), i});

    for (std::ptrdiff_t limit : {1, 2, 7, 100, 499, 500, 501}) {
        const auto expected = bruteForce(offers, limit);
        for (int round = 0; round < 5; ++round) {
            std::shuffle(offers.begin(), offers.end(), random);
            TopItems top(limit);
            for (const Offer& o : offers) top.offer(o.index, o.size);
            ASSERT_EQ(top.sorted(), expected) << "limit " << limit << ", round " << round;
            expectHeapOrdered(top);
        }
    }
}

TEST(TopItems, ReservesRoomUpFrontButNotForAHugeLimit) {
    TopItems hundred(100);
    EXPECT_GE(hundred.heap().capacity(), 100u);

    // A limit far beyond memory must neither fail to reserve nor keep anything but what came.
    TopItems huge(std::numeric_limits<std::ptrdiff_t>::max());
    EXPECT_LE(huge.heap().capacity(), TopItems::maxReserved);
    for (int32_t i = 0; i < 5000; ++i) huge.offer(i, static_cast<uint64_t>(i % 7));
    const auto all = huge.sorted();
    ASSERT_EQ(all.size(), 5000u);
    EXPECT_EQ(all.front(), NodeID{6});
    EXPECT_EQ(all.back(), NodeID{4998});
}
