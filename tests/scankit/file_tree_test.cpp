#include "scankit/file_tree.h"

#include <gtest/gtest.h>

using namespace hollowmere;
TEST(FileTree, Placeholder) { EXPECT_EQ(FileTree::root().index, 0); }
