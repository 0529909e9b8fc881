#include "scankit/trash_info.h"
#include "scankit/trash_mover.h"
#include "support/scratch_volume.h"
#include "support/privileges.h"
#include "support/temp_dir.h"
#include "trash_fixture.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <map>
#include <vector>

using hollowmere::test::ScratchVolume;
using namespace hollowmere;
using test::failureOf;
using test::namesIn;
using test::present;
using test::readText;
using test::statusOf;
using Failure = TrashMover::Failure;
using Kind = Failure::Kind;
using Step = TrashMover::Step;

namespace {

constexpr uint32_t alice = 1500; // the administrator in the tests that need root
constexpr uint32_t bob = 1501;

// A temporary world: homes with fake account records and the steps a mover reported.
class World {
public:
    test::TempDir dir;
    std::map<uint32_t, TrashMover::Account> accounts;
    std::vector<Step> steps;
    std::function<void(const Step&)> hook; // acts at a step, like a concurrent process would

    World() {
        dir.mkdir("home");
        dir.mkdir("work");
    }

    std::string home(const std::string& name) const { return dir / ("home/" + name); }

    // A user with a home folder of their own (chowned when root).
    void addUser(uint32_t uid, uint32_t group, const std::string& name) {
        dir.mkdir("home/" + name);
        if (::geteuid() == 0) {
            EXPECT_EQ(::chown(home(name).c_str(), uid, group), 0);
        }
        accounts[uid] = TrashMover::Account(name, home(name), group);
    }

    // The user running the tests, who is the caller in every test that does not need root.
    uint32_t addMe() {
        addUser(::geteuid(), ::getegid(), "me");
        return ::geteuid();
    }

    TrashMover mover(uint32_t caller) {
        TrashMover mover(caller);
        mover.account = [this](uint32_t uid) -> std::optional<TrashMover::Account> {
            const auto found = accounts.find(uid);
            if (found == accounts.end()) return std::nullopt;
            return found->second;
        };
        mover.step = [this](const Step& step) {
            steps.push_back(step);
            if (hook) hook(step);
        };
        return mover;
    }
};

std::string homeTrash(const World& world, const std::string& user) {
    return world.home(user) + "/.local/share/Trash";
}

void chownPath(const std::string& path, uint32_t uid, uint32_t group) {
    ASSERT_EQ(::lchown(path.c_str(), uid, group), 0) << path << ": " << std::strerror(errno);
}

void expectTrashFolder(const std::string& path, uint32_t uid, uint32_t group) {
    const std::optional<struct stat> status = statusOf(path);
    ASSERT_TRUE(status) << path;
    EXPECT_TRUE(S_ISDIR(status->st_mode)) << path;
    EXPECT_EQ(status->st_mode & 07777, 0700u) << path;
    EXPECT_EQ(status->st_uid, uid) << path;
    EXPECT_EQ(status->st_gid, group) << path;
}

FileIdentity identityAt(const std::string& path) {
    const std::optional<FileIdentity> identity = FileIdentity::fromPath(path);
    EXPECT_TRUE(identity) << path;
    return identity.value_or(FileIdentity());
}

// A small tmpfs in a mount namespace of this process's own: nobody else sees it and nothing is
// left mounted if the test dies.

} // namespace

TEST(TrashMover, RefusesPathsThatAreNotAbsoluteAndClean) {
    World world;
    const TrashMover mover = world.mover(world.addMe());
    world.dir.write("work/item");
    const std::string good = world.dir / "work/item";
    const std::string bad[] = {
        "",
        "work/item",
        "/",
        "//",
        world.dir / "work/./item",
        world.dir / "work/../work/item",
        world.dir / "work/item/..",
        world.dir / "work/.",
        good + std::string(1, '\0') + "x",
    };
    for (const std::string& path : bad) {
        EXPECT_EQ(failureOf([&] { mover.owner(path); }), Failure(Kind::badPath)) << path;
        EXPECT_EQ(failureOf([&] { mover.moveToTrash(path, std::nullopt); }), Failure(Kind::badPath))
            << path;
        EXPECT_EQ(failureOf([&] { mover.putBack(path, good + "2", std::nullopt); }),
                  Failure(Kind::badPath))
            << path;
        EXPECT_EQ(failureOf([&] { mover.putBack(good, path, std::nullopt); }),
                  Failure(Kind::badPath))
            << path;
    }
    EXPECT_TRUE(present(good));
    EXPECT_FALSE(present(homeTrash(world, "me")));
}

TEST(TrashMover, NamesWhatIsWrongWithTheItemsPath) {
    World world;
    const TrashMover mover = world.mover(world.addMe());
    world.dir.mkdir("work/real");
    world.dir.write("work/real/item");
    world.dir.write("work/file");
    world.dir.symlink(world.dir / "work/real", "work/linked");
    world.dir.symlink("real", "work/relative");

    struct Case {
        std::string path;
        Failure expected;
    };
    const Case cases[] = {
        {world.dir / "work/linked/item", Failure(Kind::pathChanged)},
        {world.dir / "work/relative/item", Failure(Kind::pathChanged)},
        {world.dir / "work/missing/item", Failure(Kind::folderGone)},
        {world.dir / "work/file/item", Failure(Kind::folderGone)},
        {world.dir / "work/real/absent", Failure::system("lstat", ENOENT)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(failureOf([&] { mover.owner(c.path); }), c.expected) << c.path;
        EXPECT_EQ(failureOf([&] { mover.moveToTrash(c.path, std::nullopt); }), c.expected)
            << c.path;
    }
    EXPECT_TRUE(present(world.dir / "work/real/item"));
    EXPECT_FALSE(present(homeTrash(world, "me")));
}

TEST(TrashMover, MovesIntoTheHomeTrashMakingItsFoldersAndRecord) {
    World world;
    const uint32_t me = world.addMe();
    const TrashMover mover = world.mover(me);
    world.dir.mkdir("work/my folder");
    world.dir.write("work/my folder/report.pdf", 100);
    const std::string item = world.dir / "work/my folder/report.pdf";
    const FileIdentity before = identityAt(item);

    const TrashMover::Moved moved = mover.moveToTrash(item, std::nullopt);

    const std::string trash = homeTrash(world, "me");
    EXPECT_EQ(moved.landed, trash + "/files/report.pdf");
    EXPECT_EQ(moved.uid, me);
    EXPECT_EQ(moved.identity, before);
    EXPECT_EQ(identityAt(moved.landed), before);
    EXPECT_FALSE(present(item));
    const std::vector<Step> expectedSteps = {
        {Step::Kind::madeFolder, ".local"}, {Step::Kind::madeFolder, "share"},
        {Step::Kind::madeFolder, "Trash"},  {Step::Kind::madeFolder, "files"},
        {Step::Kind::madeFolder, "info"},   {Step::Kind::checked, "report.pdf"},
    };
    EXPECT_EQ(world.steps, expectedSteps);
    for (const char* made : {"/.local", "/.local/share", "/.local/share/Trash",
                             "/.local/share/Trash/files", "/.local/share/Trash/info"}) {
        expectTrashFolder(world.home("me") + made, me, ::getegid());
    }

    const std::string record = readText(trash + "/info/report.pdf.trashinfo");
    const std::string head =
        "[Trash Info]\nPath=" + TrashInfo::encodePath(item) + "\nDeletionDate=";
    ASSERT_TRUE(record.starts_with(head)) << record;
    EXPECT_EQ(record.size(), head.size() + std::string("2024-01-31T12:00:00\n").size()) << record;
    EXPECT_EQ(statusOf(trash + "/info/report.pdf.trashinfo")->st_mode & 0777, 0600u);

    // A second item of that name takes the first name that neither files/ nor info/ holds.
    world.dir.write("work/my folder/report.pdf", 1);
    world.dir.write("home/me/.local/share/Trash/info/report 2.pdf.trashinfo");
    EXPECT_EQ(mover.moveToTrash(item, std::nullopt).landed, trash + "/files/report 3.pdf");
    EXPECT_TRUE(present(trash + "/info/report 3.pdf.trashinfo"));
    EXPECT_FALSE(present(trash + "/files/report 2.pdf"));
}

TEST(TrashMover, MovesALinkItselfAndLeavesItsTarget) {
    World world;
    const TrashMover mover = world.mover(world.addMe());
    world.dir.write("work/target", 10);
    world.dir.symlink(world.dir / "work/target", "work/link");
    const FileIdentity link = identityAt(world.dir / "work/link");

    const TrashMover::Moved moved = mover.moveToTrash(world.dir / "work/link", std::nullopt);
    EXPECT_EQ(moved.identity, link);
    EXPECT_TRUE(S_ISLNK(statusOf(moved.landed)->st_mode));
    EXPECT_TRUE(present(world.dir / "work/target"));
}

TEST(TrashMover, RefusesTrashFoldersThatAreNotPlainFolders) {
    struct Case {
        const char* what;
        std::function<void(World&)> arrange; // after the home of "me" exists
    };
    const Case cases[] = {
        {"Trash is a link",
         [](World& w) {
             w.dir.mkdir("home/me/.local");
             w.dir.mkdir("home/me/.local/share");
             w.dir.symlink(w.dir / "outside", "home/me/.local/share/Trash");
         }},
        {"Trash is a file",
         [](World& w) {
             w.dir.mkdir("home/me/.local");
             w.dir.mkdir("home/me/.local/share");
             w.dir.write("home/me/.local/share/Trash");
         }},
        {".local is a link", [](World& w) { w.dir.symlink(w.dir / "outside", "home/me/.local"); }},
        {"files is a link",
         [](World& w) {
             w.dir.mkdir("home/me/.local");
             w.dir.mkdir("home/me/.local/share");
             w.dir.mkdir("home/me/.local/share/Trash", 0700);
             w.dir.symlink(w.dir / "outside", "home/me/.local/share/Trash/files");
         }},
    };
    for (const Case& c : cases) {
        World world;
        const TrashMover mover = world.mover(world.addMe());
        world.dir.mkdir("outside");
        world.dir.write("work/item");
        c.arrange(world);
        EXPECT_EQ(failureOf([&] { mover.moveToTrash(world.dir / "work/item", std::nullopt); }),
                  Failure(Kind::unsafeTrash))
            << c.what;
        EXPECT_TRUE(present(world.dir / "work/item")) << c.what;
        EXPECT_TRUE(namesIn(world.dir / "outside").empty()) << c.what;
    }
}

// Another process changes the file system at one of the mover's two steps: the move fails, the
// item stays, and nothing outside the Trash is touched or replaced.
TEST(TrashMover, CatchesChangesMadeBetweenItsSteps) {
    struct Race {
        const char* what;
        Step at;
        std::function<void(World&)> act;
        Failure expected;
    };
    const auto share = [](World& w) { return w.home("me") + "/.local/share"; };
    const Race races[] = {
        {"Trash becomes a link",
         {Step::Kind::madeFolder, "Trash"},
         [&](World& w) {
             ASSERT_EQ(::rmdir((share(w) + "/Trash").c_str()), 0);
             ASSERT_EQ(::symlink((w.dir / "outside").c_str(), (share(w) + "/Trash").c_str()), 0);
         },
         Failure(Kind::unsafeTrash)},
        {".local becomes a link",
         {Step::Kind::madeFolder, ".local"},
         [](World& w) {
             ASSERT_EQ(::rmdir((w.home("me") + "/.local").c_str()), 0);
             ASSERT_EQ(::symlink((w.dir / "outside").c_str(), (w.home("me") + "/.local").c_str()),
                       0);
         },
         Failure(Kind::unsafeTrash)},
        {"files is swapped for a full folder",
         {Step::Kind::madeFolder, "files"},
         [&](World& w) {
             w.dir.mkdir("full");
             w.dir.write("full/keep", 5);
             ASSERT_EQ(::rmdir((share(w) + "/Trash/files").c_str()), 0);
             ASSERT_EQ(::rename((w.dir / "full").c_str(), (share(w) + "/Trash/files").c_str()), 0);
         },
         Failure(Kind::unsafeTrash)},
        {"a file appears where the item should land",
         {Step::Kind::checked, "item"},
         [&](World& w) { w.dir.write("home/me/.local/share/Trash/files/item", 7); },
         Failure::system("rename", EEXIST)},
        {"the item's folder becomes a link",
         {Step::Kind::checked, "item"},
         [](World& w) {
             ASSERT_EQ(::rename((w.dir / "work").c_str(), (w.dir / "work-moved").c_str()), 0);
             w.dir.write("outside/item", 3);
             w.dir.symlink(w.dir / "outside", "work");
         },
         Failure(Kind::pathChanged)},
    };
    for (const Race& race : races) {
        World world;
        const TrashMover mover = world.mover(world.addMe());
        world.dir.mkdir("outside");
        world.dir.write("work/item", 1);
        const FileIdentity item = identityAt(world.dir / "work/item");
        world.hook = [&](const Step& step) {
            if (step == race.at) race.act(world);
        };

        EXPECT_EQ(failureOf([&] { mover.moveToTrash(world.dir / "work/item", std::nullopt); }),
                  race.expected)
            << race.what;

        const std::string stillAt =
            present(world.dir / "work-moved") ? "work-moved/item" : "work/item";
        EXPECT_EQ(FileIdentity::fromPath(world.dir / stillAt), item) << race.what;
        const std::set<std::string> outside = namesIn(world.dir / "outside");
        EXPECT_TRUE(outside.empty() || outside == std::set<std::string>{"item"}) << race.what;
        if (!outside.empty()) {
            EXPECT_EQ(readText(world.dir / "outside/item"), "xxx") << race.what;
        }
        // Whatever the race put in the Trash is left alone; no record stays behind.
        EXPECT_TRUE(namesIn(share(world) + "/Trash/info").empty()) << race.what;
        if (race.at.kind == Step::Kind::checked && race.expected.kind() == Kind::system) {
            EXPECT_EQ(readText(share(world) + "/Trash/files/item"), "xxxxxxx") << race.what;
        }
        if (race.at.name == "files") {
            EXPECT_TRUE(present(share(world) + "/Trash/files/keep")) << race.what;
        }
    }
}

TEST(TrashMover, RefusesItemsBornAfterTheScanBegan) {
    World world;
    const TrashMover mover = world.mover(world.addMe());
    world.dir.write("work/item");
    struct statx status {};
    ASSERT_EQ(::statx(AT_FDCWD, (world.dir / "work/item").c_str(), AT_SYMLINK_NOFOLLOW, STATX_BTIME,
                      &status),
              0);
    if (!(status.stx_mask & STATX_BTIME))
        GTEST_SKIP() << "the temporary folder's file system keeps no birth time";

    struct ::timespec justBefore {
        status.stx_btime.tv_sec, status.stx_btime.tv_nsec - 1
    };
    if (justBefore.tv_nsec < 0) justBefore = {justBefore.tv_sec - 1, 999'999'999};
    EXPECT_EQ(failureOf([&] { mover.moveToTrash(world.dir / "work/item", justBefore); }),
              Failure(Kind::changedSinceScan));
    EXPECT_FALSE(present(world.home("me") + "/.local")); // refused before any Trash folder is made

    const struct ::timespec born { status.stx_btime.tv_sec, status.stx_btime.tv_nsec };
    EXPECT_NO_THROW(mover.moveToTrash(world.dir / "work/item", born));
}

TEST(TrashMover, RefusesVitalItemsAndUsersWithoutAccount) {
    World world;
    const uint32_t me = world.addMe();
    EXPECT_EQ(failureOf([&] { world.mover(me).moveToTrash("/proc/version", std::nullopt); }),
              Failure(Kind::vital));

    world.dir.write("work/item");
    World nobody; // no account at all
    EXPECT_EQ(
        failureOf([&] { nobody.mover(4242).moveToTrash(world.dir / "work/item", std::nullopt); }),
        Failure::system("no account for uid 4242", ENOENT));
    EXPECT_TRUE(present(world.dir / "work/item"));
    const TrashMover::Owner owner = nobody.mover(4242).owner(world.dir / "work/item");
    EXPECT_EQ(owner.uid, 4242u);
    EXPECT_FALSE(owner.name);
}

TEST(TrashMover, PutsBackOnlyTheSameItemFromDirectlyInItsOwnersTrash) {
    World world;
    const TrashMover mover = world.mover(world.addMe());
    world.dir.write("work/item", 10);
    const std::string original = world.dir / "work/item";
    const TrashMover::Moved moved = mover.moveToTrash(original, std::nullopt);
    const std::string trash = homeTrash(world, "me");

    // Not directly in files/: deeper inside, or in no Trash at all.
    world.dir.write("work/loose");
    ASSERT_EQ(::mkdir((trash + "/files/sub").c_str(), 0700), 0);
    world.dir.write("home/me/.local/share/Trash/files/sub/deeper");
    EXPECT_EQ(failureOf([&] {
                  mover.putBack(trash + "/files/sub/deeper", world.dir / "work/deeper",
                                std::nullopt);
              }),
              Failure(Kind::notInTrash));
    EXPECT_EQ(failureOf([&] {
                  mover.putBack(world.dir / "work/loose", world.dir / "work/other", std::nullopt);
              }),
              Failure(Kind::notInTrash));
    EXPECT_EQ(failureOf([&] {
                  mover.putBack(trash + "/info/item.trashinfo", world.dir / "work/x", std::nullopt);
              }),
              Failure(Kind::notInTrash));

    // Not the item that was moved.
    EXPECT_EQ(failureOf([&] {
                  mover.putBack(moved.landed, original, FileIdentity(moved.identity.device, 1));
              }),
              Failure(Kind::replaced));
    // Its place is taken, or its folder gone.
    world.dir.write("work/item", 3);
    EXPECT_EQ(failureOf([&] { mover.putBack(moved.landed, original, moved.identity); }),
              Failure(Kind::taken));
    EXPECT_EQ(readText(original), "xxx");
    ASSERT_EQ(::unlink(original.c_str()), 0);
    EXPECT_EQ(
        failureOf([&] { mover.putBack(moved.landed, world.dir / "gone/item", moved.identity); }),
        Failure(Kind::folderGone));
    EXPECT_EQ(identityAt(moved.landed), moved.identity);
    EXPECT_TRUE(present(trash + "/info/item.trashinfo"));

    mover.putBack(moved.landed, original, moved.identity);
    EXPECT_EQ(identityAt(original), moved.identity);
    EXPECT_FALSE(present(moved.landed));
    EXPECT_FALSE(present(trash + "/info/item.trashinfo"));
}

TEST(TrashMover, RoutesItemsToTheTrashOfTheHomesUser) {
    REQUIRE_ROOT("it gives items and homes to other users");
    World world;
    world.addUser(alice, alice, "alice");
    world.addUser(bob, bob + 100, "bob");
    const TrashMover mover = world.mover(alice);
    world.dir.mkdir("home/bob/Documents");
    chownPath(world.home("bob") + "/Documents", bob, bob);
    world.dir.write("home/bob/Documents/bobs");
    chownPath(world.home("bob") + "/Documents/bobs", bob, bob);
    world.dir.write("home/bob/Documents/roots");
    world.dir.write("work/bobs-elsewhere");
    chownPath(world.dir / "work/bobs-elsewhere", bob, bob);

    struct Case {
        std::string item;
        uint32_t uid;
        std::optional<std::string> name;
        bool systemItem;
    };
    const Case cases[] = {
        {world.home("bob") + "/Documents/bobs", bob, "bob", false},
        {world.home("bob") + "/Documents/roots", alice, "alice", true},
        {world.dir / "work/bobs-elsewhere", alice, "alice", false},
    };
    for (const Case& c : cases) {
        const TrashMover::Owner owner = mover.owner(c.item);
        EXPECT_EQ(owner.uid, c.uid) << c.item;
        EXPECT_EQ(owner.name, c.name) << c.item;
        EXPECT_EQ(owner.systemItem, c.systemItem) << c.item;
    }

    const TrashMover::Moved bobs = mover.moveToTrash(cases[0].item, std::nullopt);
    EXPECT_EQ(bobs.uid, bob);
    EXPECT_EQ(bobs.landed, homeTrash(world, "bob") + "/files/bobs");
    for (const char* made : {"/.local", "/.local/share", "/.local/share/Trash",
                             "/.local/share/Trash/files", "/.local/share/Trash/info"}) {
        expectTrashFolder(world.home("bob") + made, bob, bob + 100);
    }
    const std::optional<struct stat> record =
        statusOf(homeTrash(world, "bob") + "/info/bobs.trashinfo");
    ASSERT_TRUE(record);
    EXPECT_EQ(record->st_uid, bob);
    EXPECT_EQ(record->st_mode & 0777, 0600u);

    EXPECT_EQ(mover.moveToTrash(cases[1].item, std::nullopt).landed,
              homeTrash(world, "alice") + "/files/roots");
    EXPECT_EQ(mover.moveToTrash(cases[2].item, std::nullopt).landed,
              homeTrash(world, "alice") + "/files/bobs-elsewhere");

    // The administrator puts bob's item back out of bob's Trash.
    mover.putBack(bobs.landed, cases[0].item, bobs.identity);
    EXPECT_EQ(identityAt(cases[0].item), bobs.identity);
    EXPECT_FALSE(present(homeTrash(world, "bob") + "/info/bobs.trashinfo"));
}

TEST(TrashMover, RefusesATrashOfAnotherOwner) {
    REQUIRE_ROOT("it gives items and homes to other users");
    World world;
    world.addUser(alice, alice, "alice");
    world.dir.mkdir("home/alice/.local");
    world.dir.mkdir("home/alice/.local/share");
    world.dir.mkdir("home/alice/.local/share/Trash", 0700);
    chownPath(world.home("alice") + "/.local/share/Trash", bob, bob);
    world.dir.write("work/item");
    EXPECT_EQ(
        failureOf([&] { world.mover(alice).moveToTrash(world.dir / "work/item", std::nullopt); }),
        Failure(Kind::unsafeTrash));
    EXPECT_TRUE(present(world.dir / "work/item"));
    EXPECT_TRUE(namesIn(homeTrash(world, "alice")).empty());
}

TEST(TrashMover, UsesTheTrashOfTheItemsVolume) {
    World world;
    world.dir.mkdir("volume");
    const ScratchVolume volume(world.dir / "volume");
    if (!volume.unavailable().empty()) GTEST_SKIP() << volume.unavailable();
    world.addUser(alice, alice, "alice");
    const TrashMover mover = world.mover(alice);
    const std::string top = world.dir / "volume";
    world.dir.mkdir("volume/data");
    world.dir.write("volume/data/first", 10);
    world.dir.write("volume/data/second", 10);
    world.dir.write("volume/data/third", 10);
    chownPath(top + "/data/first", alice, alice);

    // No usable .Trash: .Trash-<uid>, made for the caller, with a record relative to the top.
    const TrashMover::Moved first = mover.moveToTrash(top + "/data/first", std::nullopt);
    EXPECT_EQ(first.uid, alice);
    EXPECT_EQ(first.landed, top + "/.Trash-1500/files/first");
    expectTrashFolder(top + "/.Trash-1500", alice, alice);
    const std::string record = readText(top + "/.Trash-1500/info/first.trashinfo");
    EXPECT_TRUE(record.starts_with("[Trash Info]\nPath=data/first\nDeletionDate=")) << record;
    EXPECT_FALSE(present(homeTrash(world, "alice")));

    // A sticky .Trash that is a link is not used.
    world.dir.mkdir("volume/shared", 01777);
    world.dir.symlink("shared", "volume/.Trash");
    EXPECT_EQ(mover.moveToTrash(top + "/data/second", std::nullopt).landed,
              top + "/.Trash-1500/files/second");
    EXPECT_TRUE(namesIn(top + "/shared").empty());

    // A sticky .Trash folder holds a folder per user.
    ASSERT_EQ(::unlink((top + "/.Trash").c_str()), 0);
    world.dir.mkdir("volume/.Trash", 01777);
    const TrashMover::Moved third = mover.moveToTrash(top + "/data/third", std::nullopt);
    EXPECT_EQ(third.landed, top + "/.Trash/1500/files/third");
    expectTrashFolder(top + "/.Trash/1500", alice, alice);

    // The volume's own Trash folders are vital; items come back from either kind of Trash.
    EXPECT_EQ(failureOf([&] { mover.moveToTrash(top + "/.Trash-1500", std::nullopt); }),
              Failure(Kind::vital));
    mover.putBack(first.landed, top + "/data/first", first.identity);
    mover.putBack(third.landed, top + "/data/third", third.identity);
    EXPECT_EQ(identityAt(top + "/data/first"), first.identity);
    EXPECT_EQ(identityAt(top + "/data/third"), third.identity);
    EXPECT_FALSE(present(top + "/.Trash-1500/info/first.trashinfo"));
    EXPECT_FALSE(present(top + "/.Trash/1500/info/third.trashinfo"));
}
