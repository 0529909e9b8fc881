#include "scankit/trashed_items.h"
#include "support/privileges.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <set>

using namespace hollowmere;
using Item = TrashedItems::Item;

namespace {

std::set<std::ptrdiff_t> keysOf(const TrashedItems& ledger) {
    std::set<std::ptrdiff_t> keys;
    for (const auto& [key, item] : ledger.items())
        keys.insert(key.value);
    return keys;
}

FileIdentity identityAt(const std::string& path) {
    const std::optional<FileIdentity> identity = FileIdentity::fromPath(path);
    EXPECT_TRUE(identity) << path;
    return identity.value_or(FileIdentity());
}

} // namespace

TEST(TrashedItems, KeysAreNeverReusedAndBytesAddUp) {
    TrashedItems ledger;
    EXPECT_EQ(ledger.add(Item(100, "/t/a", FileIdentity(1, 2))).value, 0);
    const TrashedItems::Key second = ledger.add(Item(50, std::nullopt, std::nullopt));
    EXPECT_EQ(second.value, 1);
    EXPECT_EQ(ledger.count(), 2);
    EXPECT_EQ(ledger.bytes(), 150u);

    ledger.remove(second);
    ledger.remove(second);
    ledger.remove(TrashedItems::Key{42});
    EXPECT_EQ(keysOf(ledger), std::set<std::ptrdiff_t>{0});
    EXPECT_EQ(ledger.bytes(), 100u);

    ledger.removeAll();
    EXPECT_EQ(ledger.count(), 0);
    EXPECT_EQ(ledger.bytes(), 0u);
    EXPECT_EQ(ledger.add(Item(1, std::nullopt, std::nullopt)).value, 2);

    ledger.add(Item(UINT64_MAX, std::nullopt, std::nullopt));
    EXPECT_EQ(ledger.bytes(), UINT64_MAX); // stops at the top instead of wrapping
}

TEST(TrashedItems, ForgetInsideDropsEntriesAtOrBelowAFolder) {
    struct Case {
        std::string folder;
        std::set<std::ptrdiff_t> kept;
    };
    // Keys: 0 at /home/a/Trash, 1 below it, 2 in a sibling sharing its prefix, 3 without a place.
    const Case cases[] = {
        {"/home/a", {3}},
        {"/home/a/", {3}},
        {"/home/a/Trash", {2, 3}},
        {"/home/a/Trash/", {2, 3}},
        {"/home/a/Tr", {0, 1, 2, 3}},
        {"/home/a/Trash/files/x", {0, 2, 3}},
        {"/", {3}},
    };
    for (const Case& c : cases) {
        TrashedItems ledger;
        ledger.add(Item(1, "/home/a/Trash", std::nullopt));
        ledger.add(Item(1, "/home/a/Trash/files/x", std::nullopt));
        ledger.add(Item(1, "/home/a/Trashy/x", std::nullopt));
        ledger.add(Item(1, std::nullopt, std::nullopt));
        ledger.forget(c.folder);
        EXPECT_EQ(keysOf(ledger), c.kept) << c.folder;
    }
}

TEST(TrashedItems, ForgetGoneDropsOnlyOnEvidence) {
    test::TempDir dir;
    dir.write("same");
    dir.write("replaced");
    dir.write("deleted");
    dir.write("file");
    dir.write("target");
    dir.symlink(dir / "target", "link");
    dir.mkdir("locked");
    dir.write("locked/inside");

    TrashedItems ledger;
    const auto add = [&](const std::string& place) {
        return ledger.add(Item(1, place, identityAt(place))).value;
    };
    const std::ptrdiff_t same = add(dir / "same");
    add(dir / "replaced");
    add(dir / "deleted");
    const std::ptrdiff_t link = add(dir / "link");
    const std::ptrdiff_t locked = add(dir / "locked/inside");
    ledger.add(
        Item(1, dir / "file/below", FileIdentity(1, 1))); // a file where a folder was: ENOTDIR
    const std::ptrdiff_t noPlace = ledger.add(Item(1, std::nullopt, FileIdentity(1, 1))).value;
    const std::ptrdiff_t noIdentity = ledger.add(Item(1, dir / "deleted", std::nullopt)).value;

    dir.write("stranger"); // made while "replaced" still exists, so it has another inode
    ASSERT_EQ(::rename((dir / "stranger").c_str(), (dir / "replaced").c_str()), 0);
    ASSERT_EQ(::unlink((dir / "deleted").c_str()), 0);
    ASSERT_EQ(::unlink((dir / "target").c_str()), 0); // the link is judged by itself
    ASSERT_EQ(::chmod((dir / "locked").c_str(), 0), 0);
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0); // let the unprivileged check reach "locked"

    // Without the right to search "locked", its entry cannot be examined and must stay.
    const bool outcome = test::runUnprivileged([&] {
        ledger.forgetGone();
        return keysOf(ledger) == std::set<std::ptrdiff_t>{same, link, locked, noPlace, noIdentity};
    });
    EXPECT_TRUE(outcome);
}
