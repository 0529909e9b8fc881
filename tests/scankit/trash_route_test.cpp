#include "scankit/trash_route.h"
#include "scankit/utf8.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

using namespace hollowmere;

TEST(TrashRoute, RecipientIsTheHomeHolderOnlyForOrdinaryUsersItems) {
    struct Case {
        uint32_t owner;
        std::optional<uint32_t> homeHolder;
        uint32_t caller;
        uint32_t expected;
    };
    const Case cases[] = {
        {0, 1002, 1001, 1001},            // a system item inside someone's home
        {1002, std::nullopt, 1001, 1001}, // outside every home
        {1002, 1003, 1001, 1003},         // inside another user's home
        {999, 1003, 1001, 1001},          // the last system id
        {1000, 1003, 1001, 1003},         // the first ordinary id
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TrashRoute::recipient(c.owner, c.homeHolder, c.caller), c.expected)
            << "owner " << c.owner;
    }
}

TEST(TrashRoute, FreeNameNumbersBeforeTheExtension) {
    struct Case {
        std::string name;
        std::set<std::string> taken;
        std::string expected;
    };
    const Case cases[] = {
        {"photo.jpg", {}, "photo.jpg"},
        {"photo.jpg", {"photo.jpg", "photo 2.jpg"}, "photo 3.jpg"},
        {".profile", {".profile"}, ".profile 2"},
        {".bashrc.bak", {".bashrc.bak"}, ".bashrc 2.bak"},
        {"archive.tar.gz", {"archive.tar.gz"}, "archive.tar 2.gz"},
        {"notes", {"notes"}, "notes 2"},
        {"ends.", {"ends."}, "ends. 2"},
    };
    for (const Case& c : cases) {
        const auto exists = [&](const std::string& candidate) {
            return c.taken.count(candidate) > 0;
        };
        EXPECT_EQ(TrashRoute::freeName(c.name, exists), c.expected) << c.name;
    }
}

TEST(TrashRoute, FreeNameGivesTheLastNumberWhenEverythingIsTaken) {
    int asked = 0;
    const std::string name = TrashRoute::freeName("report.pdf", [&](const std::string&) {
        ++asked;
        return true;
    });
    EXPECT_EQ(name, "report 100000.pdf");
    EXPECT_EQ(asked, 100000); // the name itself and the numbers 2 to 100000
}

TEST(TrashRoute, NumberedNameStaysWithin255BytesCuttingWholeCharacters) {
    EXPECT_EQ(TrashRoute::numberedName("report", 2, ".pdf"), "report 2.pdf");
    EXPECT_EQ(TrashRoute::numberedName("notes", 17, ""), "notes 17");

    // One-byte characters: the last two go.
    const std::string ascii = TrashRoute::numberedName(std::string(255, 'a'), 2, "");
    EXPECT_EQ(ascii, std::string(253, 'a') + " 2");

    // Two-byte characters: a whole one goes, never half of it.
    std::string accents;
    for (int i = 0; i < 127; ++i)
        accents += "\xC3\xA9"; // é, 254 bytes
    const std::string cut = TrashRoute::numberedName(accents, 2, ".txt");
    EXPECT_LE(cut.size(), 255u);
    EXPECT_TRUE(isValidUtf8(cut));
    EXPECT_TRUE(cut.ends_with(" 2.txt"));
    EXPECT_EQ(cut.size(), 248u + 6u);

    // A stray byte is a character of its own.
    const std::string stray = TrashRoute::numberedName(std::string(254, 'a') + "\x80", 2, "");
    EXPECT_EQ(stray, std::string(253, 'a') + " 2");

    // An extension too long for any suffix joins the stem and is cut with it.
    const std::string longExtension = "." + std::string(300, 'e');
    const std::string joined = TrashRoute::numberedName("x", 2, longExtension);
    EXPECT_EQ(joined.size(), 255u);
    EXPECT_TRUE(joined.starts_with("x.eee"));
    EXPECT_TRUE(joined.ends_with("e 2"));
}
