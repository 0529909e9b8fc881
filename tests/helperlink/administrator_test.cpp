#include "helperlink/administrator.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace hollowmere;

namespace {

constexpr gid_t sudoGroup = 27;

// A user database with one account, "ann", whose group list is `groups`.
struct FakeDatabase {
    std::vector<gid_t> groups;
    std::vector<int> bufferSizes; // of every groupList call
    int claimedCount = -1;        // when set, reported as needed whatever the buffer

    Administrator::Lookup lookup() {
        Administrator::Lookup lookup;
        lookup.account = [](uid_t uid) -> std::optional<Administrator::Lookup::Account> {
            if (uid != 1000) return std::nullopt;
            return Administrator::Lookup::Account{"ann", 1000};
        };
        lookup.groupList = [this](const std::string&, gid_t, gid_t* out, int* count) {
            bufferSizes.push_back(*count);
            const int needed = claimedCount >= 0 ? claimedCount : static_cast<int>(groups.size());
            if (needed > *count) {
                *count = needed;
                return -1;
            }
            std::copy(groups.begin(), groups.end(), out);
            *count = needed;
            return needed;
        };
        lookup.administratorGroups = {sudoGroup, 10};
        return lookup;
    }
};

std::vector<gid_t> groupsWith(size_t count, std::optional<size_t> sudoAt) {
    std::vector<gid_t> groups(count);
    for (size_t i = 0; i < count; ++i) groups[i] = static_cast<gid_t>(2000 + i);
    if (sudoAt) groups[*sudoAt] = sudoGroup;
    return groups;
}

} // namespace

TEST(Administrator, LooksForAnAdministratorGroupInTheWholeGroupList) {
    struct Case {
        const char* what;
        uid_t uid;
        std::vector<gid_t> groups;
        int claimedCount;
        bool administrator;
        std::vector<int> bufferSizes;
    };
    const Case cases[] = {
        {"root, without looking", 0, {}, -1, true, {}},
        {"no account", 1001, groupsWith(3, 1), -1, false, {}},
        {"a member", 1000, groupsWith(3, 2), -1, true, {64}},
        {"not a member", 1000, groupsWith(3, std::nullopt), -1, false, {64}},
        {"a member far down the list", 1000, groupsWith(100, 99), -1, true, {64, 200}},
        {"4095 groups are still read", 1000, groupsWith(4095, 4094), -1, true, {64, 8190}},
        {"more than 4095 groups", 1000, groupsWith(4096, 0), -1, false, {64}},
    };
    for (const Case& c : cases) {
        FakeDatabase database{c.groups, {}, c.claimedCount};
        EXPECT_EQ(Administrator::test(c.uid, database.lookup()), c.administrator) << c.what;
        EXPECT_EQ(database.bufferSizes, c.bufferSizes) << c.what;
    }

    // A lookup that fails without asking for more room is not asked forever.
    FakeDatabase database;
    Administrator::Lookup failing = database.lookup();
    int calls = 0;
    failing.groupList = [&](const std::string&, gid_t, gid_t*, int*) { return ++calls, -1; };
    EXPECT_FALSE(Administrator::test(1000, failing));
    EXPECT_EQ(calls, 1);
}

TEST(Administrator, AsksTheSystemDatabases) {
    EXPECT_TRUE(Administrator::test(0));
    EXPECT_FALSE(Administrator::test(65534)) << "nobody is in no administrator group";
}
