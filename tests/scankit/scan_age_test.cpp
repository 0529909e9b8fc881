#include "scankit/scan_age.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

using namespace hollowmere;
using std::chrono::nanoseconds;

namespace {

Date dateAt(int64_t nanosecondsSince1970) {
    return Date(std::chrono::duration_cast<Date::duration>(nanoseconds(nanosecondsSince1970)));
}

} // namespace

TEST(ScanAge, TimespecRoundsSecondsDownAndKeepsNanosecondsPositive) {
    struct Case {
        int64_t nanoseconds;
        int64_t seconds;
        int64_t fraction;
    };
    const Case cases[] = {
        {0, 0, 0},
        {-1'250'000'000, -2, 750'000'000},
        {1'700'000'000'500'000'000, 1'700'000'000, 500'000'000},
        {-1, -1, 999'999'999},
        {-2'000'000'000, -2, 0},
        {1'999'999'999, 1, 999'999'999},
    };
    for (const Case& c : cases) {
        const struct ::timespec t = ScanAge::timespec(dateAt(c.nanoseconds));
        EXPECT_EQ(t.tv_sec, c.seconds) << c.nanoseconds;
        EXPECT_EQ(t.tv_nsec, c.fraction) << c.nanoseconds;
    }
}

TEST(ScanAge, CreatedAfterComparesBirthTimeToTheNanosecond) {
    test::TempDir dir;
    dir.write("item", 1);
    struct statx status{};
    ASSERT_EQ(::statx(AT_FDCWD, (dir / "item").c_str(), AT_SYMLINK_NOFOLLOW, STATX_BTIME, &status), 0);
    if (!(status.stx_mask & STATX_BTIME)) GTEST_SKIP() << "the temporary folder's file system keeps no birth time";
    const int64_t born = status.stx_btime.tv_sec * 1'000'000'000LL + status.stx_btime.tv_nsec;

    EXPECT_TRUE(ScanAge::createdAfter(dir / "item", dateAt(born - 1)));
    EXPECT_TRUE(ScanAge::createdAfter(dir / "item", dateAt(born - 5'000'000'000LL)));
    EXPECT_FALSE(ScanAge::createdAfter(dir / "item", dateAt(born)));
    EXPECT_FALSE(ScanAge::createdAfter(dir / "item", dateAt(born + 1)));
    EXPECT_FALSE(ScanAge::createdAfter(dir / "missing", dateAt(0)));
    EXPECT_FALSE(ScanAge::createdAfter(dir / "item/below", dateAt(0)));
}

TEST(ScanAge, CreatedAfterJudgesALinkByItsOwnBirth) {
    test::TempDir dir;
    dir.write("target", 1);
    dir.symlink("target", "link");
    struct statx link{};
    ASSERT_EQ(::statx(AT_FDCWD, (dir / "link").c_str(), AT_SYMLINK_NOFOLLOW, STATX_BTIME, &link), 0);
    if (!(link.stx_mask & STATX_BTIME)) GTEST_SKIP() << "the temporary folder's file system keeps no birth time";
    const int64_t linkBorn = link.stx_btime.tv_sec * 1'000'000'000LL + link.stx_btime.tv_nsec;

    // A dangling link still has a birth of its own.
    ASSERT_EQ(::unlink((dir / "target").c_str()), 0);
    EXPECT_TRUE(ScanAge::createdAfter(dir / "link", dateAt(linkBorn - 1)));
    EXPECT_FALSE(ScanAge::createdAfter(dir / "link", dateAt(linkBorn)));
}
