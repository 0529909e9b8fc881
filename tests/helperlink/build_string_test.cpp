#include "helperlink/build_string.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

using namespace hollowmere;

TEST(BuildString, IdentifiesAnExecutableByInodeTimeAndSize) {
    test::TempDir dir;
    dir.write("helper", 1234);
    dir.symlink("helper", "link");
    const struct timespec times[2] = {{0, UTIME_OMIT}, {1700000000, 5}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (dir / "helper").c_str(), times, 0), 0);
    struct stat status {};
    ASSERT_EQ(::stat((dir / "helper").c_str(), &status), 0);

    // Nanoseconds 5 are ".5": decimal, no padding.
    const std::string expected = std::to_string(status.st_ino) + "-1700000000.5-1234";
    EXPECT_EQ(BuildString::of(dir / "helper"), expected);
    EXPECT_EQ(BuildString::of(dir / "link"), expected) << "links are followed";
    EXPECT_EQ(BuildString::of(dir / "nothing"), "missing");
}
