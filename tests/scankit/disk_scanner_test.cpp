#include "scankit/disk_scanner.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

using namespace hollowmere;

TEST(DiskScanner, ScansEmptyFolder) {
    test::TempDir dir;
    DiskScanner scanner(dir.path(), std::nullopt, 2, true);
    FileTree tree = scanner.scan();
    EXPECT_EQ(tree.count(), 1);
    EXPECT_EQ(tree.verify(), std::nullopt);
}
