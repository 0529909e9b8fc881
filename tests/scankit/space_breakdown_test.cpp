#include "scankit/space_breakdown.h"
#include "scankit/volume.h"

#include <gtest/gtest.h>

#include <limits>

using namespace hollowmere;

namespace {

constexpr int64_t GB = 1'000'000'000;
constexpr int64_t max64 = std::numeric_limits<int64_t>::max();
constexpr int64_t min64 = std::numeric_limits<int64_t>::min();
constexpr uint64_t maxU64 = std::numeric_limits<uint64_t>::max();

} // namespace

TEST(SpaceBreakdown, SplitsCapacityAndClampsAtTheEdges) {
    struct Case {
        const char* name;
        int64_t total, available, important;
        uint64_t files, trashed;
        int64_t purgeable, unclamped, unscanned, among, beyond;
    };
    const Case cases[] = {
        {"worked example", 500 * GB, 100 * GB, 130 * GB, 320 * GB, 5 * GB, 30 * GB, 45 * GB, 45 * GB, 0, 30 * GB},
        {"files beyond used", 500 * GB, 100 * GB, 130 * GB, 390 * GB, 5 * GB, 30 * GB, -25 * GB, 0, 25 * GB, 5 * GB},
        {"beyond used and purgeable", 500 * GB, 100 * GB, 130 * GB, 400 * GB, 20 * GB, 30 * GB, -50 * GB, 0, 30 * GB,
         0},
        {"important below free", 100, 40, 10, 50, 0, 0, 10, 10, 0, 0},
        {"free above total", 100, 150, 150, 5, 0, 0, -5, 0, 0, 0},
        {"root size above int64", 100, 0, 0, maxU64, 0, 0, 100 - max64, 0, 0, 0},
        {"both near int64", 100, 0, 20, maxU64, uint64_t(max64), 20, min64, 0, 20, 0},
        {"purgeable at int64", max64, 0, max64, 0, 0, max64, 0, 0, 0, max64},
        {"purgeable from negative free", 0, min64, max64, 0, 0, max64, 0, 0, 0, max64},
    };
    for (const Case& c : cases) {
        const SpaceBreakdown b(c.total, c.available, c.important, c.files, c.trashed);
        SCOPED_TRACE(c.name);
        EXPECT_EQ(b.total, c.total);
        EXPECT_EQ(b.available, c.available);
        EXPECT_EQ(b.files, c.files > uint64_t(max64) ? max64 : int64_t(c.files));
        EXPECT_EQ(b.trashed, c.trashed > uint64_t(max64) ? max64 : int64_t(c.trashed));
        EXPECT_EQ(b.purgeable, c.purgeable);
        EXPECT_EQ(b.unscannedUnclamped, c.unclamped);
        EXPECT_EQ(b.unscanned(), c.unscanned);
        EXPECT_EQ(b.purgeableAmongFiles(), c.among);
        EXPECT_EQ(b.purgeableBeyondFiles(), c.beyond);
    }
}

TEST(SpaceBreakdown, WorkedExamplePartsAddUpToTheCapacity) {
    Volume volume;
    volume.total = 500 * GB;
    volume.available = 100 * GB;
    volume.availableForImportantUsage = 130 * GB;
    const SpaceBreakdown b(volume, 320 * GB, 5 * GB);
    EXPECT_EQ(b, SpaceBreakdown(500 * GB, 100 * GB, 130 * GB, 320 * GB, 5 * GB));
    EXPECT_EQ(b.files + b.trashed + b.unscanned() + b.purgeableBeyondFiles() + b.available, b.total);
    EXPECT_EQ(volume.purgeable(), 30 * GB);
    EXPECT_EQ(volume.used(), 400 * GB);
}
