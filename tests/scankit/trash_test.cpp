#include "scankit/trash.h"
#include "support/temp_dir.h"
#include "trash_fixture.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace hollowmere::Trash {
inline void PrintTo(const Refusal& refusal, std::ostream* out) {
    *out << (refusal.kind == Refusal::Kind::failed     ? "failed: " + refusal.text
             : refusal.kind == Refusal::Kind::replaced ? std::string("replaced")
                                                       : std::string("changedSinceScan"));
}
} // namespace hollowmere::Trash

using namespace hollowmere;
using test::namesIn;
using test::present;
using test::readText;

namespace {

// The user running the tests, with a home (and so a home trash) in a temporary folder.
struct Me {
    test::TempDir dir;
    TrashMover::Account account;

    Me()
        : account("me", dir / "home", ::getegid()) {
        dir.mkdir("home");
        dir.mkdir("work");
    }

    std::string trash() const { return dir / "home/.local/share/Trash"; }
};

// The birth time of a path as a date, when its file system keeps one.
std::optional<Date> bornAt(const std::string& path) {
    struct statx status {};
    if (::statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BTIME, &status) != 0 ||
        !(status.stx_mask & STATX_BTIME)) {
        return std::nullopt;
    }
    const auto since = std::chrono::seconds(status.stx_btime.tv_sec) +
                       std::chrono::nanoseconds(status.stx_btime.tv_nsec);
    return Date(std::chrono::duration_cast<Date::duration>(since));
}

FileIdentity identityAt(const std::string& path) {
    const std::optional<FileIdentity> identity = FileIdentity::fromPath(path);
    EXPECT_TRUE(identity) << path;
    return identity.value_or(FileIdentity());
}

Date now() {
    return std::chrono::system_clock::now();
}

// Runs a trash-cli command with the home of `me`, and returns what it printed.
std::string runTrashCli(const Me& me, const std::string& command, const std::string& input = "") {
    const std::string home = me.dir / "home";
    const std::string line = "HOME='" + home + "' XDG_DATA_HOME='" + home + "/.local/share' " +
                             command + " 2>&1" +
                             (input.empty() ? "" : " <<'EOF'\n" + input + "\nEOF");
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(line.c_str(), "r"), &::pclose);
    std::string output;
    if (!pipe) return output;
    std::array<char, 4096> chunk{};
    size_t n = 0;
    while ((n = std::fread(chunk.data(), 1, chunk.size(), pipe.get())) > 0)
        output.append(chunk.data(), n);
    return output;
}

bool haveTrashCli() {
    return std::system("command -v trash-list trash-put trash-restore >/dev/null 2>&1") == 0;
}

} // namespace

TEST(Trash, EmptyListsYieldEmptyResults) {
    Me me;
    const Trash::Moves moves = Trash::move({}, me.account);
    EXPECT_TRUE(moves.moved.empty() && moves.identities.empty() && moves.failures.empty() &&
                moves.changed.empty());
    EXPECT_TRUE(Trash::putBack({}, me.account).empty());
    EXPECT_FALSE(present(me.dir / "home/.local"));
}

TEST(Trash, MovesItemsExceptThoseBornAfterTheirScan) {
    Me me;
    me.dir.write("work/old", 10);
    me.dir.write("work/new", 10);
    const std::optional<Date> oldBorn = bornAt(me.dir / "work/old");
    const std::optional<Date> newBorn = bornAt(me.dir / "work/new");
    if (!oldBorn || !newBorn)
        GTEST_SKIP() << "the temporary folder's file system keeps no birth time";
    const FileIdentity old = identityAt(me.dir / "work/old");

    const Trash::Moves moves = Trash::move(
        {
            {me.dir / "work/new", *newBorn - std::chrono::microseconds(1)},
            {me.dir / "work/old", *oldBorn},
            {me.dir / "work/missing", now()},
            {me.dir / "work/old", now()}, // listed twice: the first outcome stands
        },
        me.account);

    EXPECT_EQ(moves.changed, std::set<std::string>{me.dir / "work/new"});
    ASSERT_EQ(moves.moved.size(), 1u);
    EXPECT_EQ(moves.moved.at(me.dir / "work/old"), me.trash() + "/files/old");
    EXPECT_EQ(moves.identities.at(me.dir / "work/old"), old);
    ASSERT_EQ(moves.failures.size(), 1u);
    EXPECT_EQ(moves.failures.at(me.dir / "work/missing"), "No such file or directory (lstat).");
    EXPECT_TRUE(present(me.dir / "work/new"));
    EXPECT_FALSE(present(me.dir / "work/old"));
}

TEST(Trash, UsesTheChosenDataHome) {
    Me me;
    me.dir.mkdir("data");
    me.account.dataHome = me.dir / "data";
    me.dir.write("work/item");
    const Trash::Moves moves = Trash::move({{me.dir / "work/item", now()}}, me.account);
    EXPECT_EQ(moves.moved.at(me.dir / "work/item"), me.dir / "data/Trash/files/item");
    EXPECT_TRUE(present(me.dir / "data/Trash/info/item.trashinfo"));
    EXPECT_FALSE(present(me.dir / "home/.local"));
}

TEST(Trash, PutsBackOnlyWhatIsStillTheMovedItem) {
    Me me;
    for (const char* name : {"replaced", "gone", "unchecked", "same"})
        me.dir.write(std::string("work/") + name, 4);
    std::vector<Trash::Item> items;
    for (const char* name : {"replaced", "gone", "unchecked", "same"})
        items.push_back({me.dir / ("work/" + std::string(name)), now()});
    const Trash::Moves moves = Trash::move(items, me.account);
    ASSERT_EQ(moves.moved.size(), 4u);
    const auto original = [&](const char* name) { return me.dir / ("work/" + std::string(name)); };
    const auto inTrash = [&](const char* name) { return me.trash() + "/files/" + name; };
    const auto movedIdentity = [&](const char* name) {
        return moves.identities.at(original(name));
    };

    // Another file takes the place of "replaced" and of "unchecked" in the Trash (made while
    // the first still exists, so that it cannot reuse its inode).
    for (const char* name : {"replaced", "unchecked"}) {
        me.dir.write("stranger", 9);
        ASSERT_EQ(::rename((me.dir / "stranger").c_str(), inTrash(name).c_str()), 0);
    }
    const FileIdentity stranger = identityAt(inTrash("unchecked"));
    ASSERT_EQ(::unlink(inTrash("gone").c_str()), 0);

    const std::map<std::string, Trash::Refusal> refusals = Trash::putBack(
        {
            {inTrash("replaced"), original("replaced"), movedIdentity("replaced")},
            {inTrash("gone"), original("gone"), movedIdentity("gone")},
            {inTrash("unchecked"), original("unchecked"), std::nullopt},
            {inTrash("same"), original("same"), movedIdentity("same")},
        },
        me.account);

    const std::map<std::string, Trash::Refusal> expected = {
        {original("replaced"), Trash::Refusal::replaced()},
        {original("gone"), Trash::Refusal::failed("No such file or directory (lstat).")},
    };
    EXPECT_EQ(refusals, expected);
    EXPECT_EQ(readText(inTrash("replaced")), "xxxxxxxxx");
    EXPECT_FALSE(present(original("replaced")));
    EXPECT_EQ(identityAt(original("unchecked")),
              stranger); // no identity: whatever lay there went back
    EXPECT_EQ(identityAt(original("same")), movedIdentity("same"));
    EXPECT_EQ(namesIn(me.trash() + "/info"),
              (std::set<std::string>{"gone.trashinfo", "replaced.trashinfo"}));
}

TEST(Trash, TrashCliListsAndRestoresWhatWeMoved) {
    if (!haveTrashCli()) GTEST_SKIP() << "trash-cli is not installed (scripts/deps.sh installs it)";
    Me me;
    me.dir.mkdir("work/sub folder");
    const std::string item = me.dir / "work/sub folder/My report \xC3\xBC #1.txt";
    me.dir.write("work/sub folder/My report \xC3\xBC #1.txt", 5);
    const FileIdentity before = identityAt(item);
    const Trash::Moves moves = Trash::move({{item, now()}}, me.account);
    ASSERT_EQ(moves.moved.size(), 1u);

    const std::string listed = runTrashCli(me, "trash-list");
    EXPECT_NE(listed.find(" " + item + "\n"), std::string::npos) << listed;

    const std::string restored = runTrashCli(me, "trash-restore '" + (me.dir / "work") + "'", "0");
    EXPECT_EQ(identityAt(item), before) << restored;
    EXPECT_TRUE(namesIn(me.trash() + "/files").empty());
    EXPECT_TRUE(namesIn(me.trash() + "/info").empty());
}

TEST(Trash, PutsBackWhatTrashCliMoved) {
    if (!haveTrashCli()) GTEST_SKIP() << "trash-cli is not installed (scripts/deps.sh installs it)";
    Me me;
    const std::string item = me.dir / "work/a b%c.txt";
    me.dir.write("work/a b%c.txt", 5);
    const FileIdentity before = identityAt(item);
    const std::string output = runTrashCli(me, "trash-put '" + item + "'");
    ASSERT_FALSE(present(item)) << output;
    ASSERT_EQ(namesIn(me.trash() + "/files"), std::set<std::string>{"a b%c.txt"}) << output;

    EXPECT_TRUE(
        Trash::putBack({{me.trash() + "/files/a b%c.txt", item, before}}, me.account).empty());
    EXPECT_EQ(identityAt(item), before);
    EXPECT_TRUE(namesIn(me.trash() + "/info").empty());
    EXPECT_EQ(runTrashCli(me, "trash-list").find(item), std::string::npos);
}
