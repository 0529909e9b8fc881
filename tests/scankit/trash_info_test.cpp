#include "scankit/trash_info.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

using namespace hollowmere;

TEST(TrashInfo, EncodePathKeepsUnreservedCharactersAndSlashes) {
    EXPECT_EQ(TrashInfo::encodePath("/home/ann/Report-1_final.v2~"),
              "/home/ann/Report-1_final.v2~");
    EXPECT_EQ(TrashInfo::encodePath("/tmp/My File.txt"), "/tmp/My%20File.txt");
    EXPECT_EQ(TrashInfo::encodePath("/tmp/\xC3\xBC%#?&+\n"), "/tmp/%C3%BC%25%23%3F%26%2B%0A");
    EXPECT_EQ(TrashInfo::encodePath(std::string("a\xFF", 2)), "a%FF");
}

TEST(TrashInfo, ContentsHoldPathAndLocalDeletionDate) {
    // Pin the local time zone, and restore the caller's afterwards.
    const char* previous = std::getenv("TZ");
    const std::optional<std::string> saved =
        previous ? std::optional<std::string>(previous) : std::nullopt;
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    const std::string text = TrashInfo::contents("data/a b", 1709211909); // 2024-02-29 13:05:09 UTC
    if (saved) {
        ::setenv("TZ", saved->c_str(), 1);
    } else {
        ::unsetenv("TZ");
    }
    ::tzset();
    EXPECT_EQ(text, "[Trash Info]\nPath=data/a%20b\nDeletionDate=2024-02-29T13:05:09\n");
}
