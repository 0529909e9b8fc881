#include "scankit/file_identity.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <grp.h>

#include <cstdio>
#include <unordered_set>

using namespace hollowmere;

namespace {

FileIdentity lstatIdentity(const std::string& path) {
    struct stat status{};
    EXPECT_EQ(::lstat(path.c_str(), &status), 0) << path;
    return FileIdentity(static_cast<int32_t>(static_cast<uint32_t>(status.st_dev)), status.st_ino);
}

} // namespace

TEST(FileIdentity, FromPathReadsTheLinkItselfAndIsAbsentForMissingPaths) {
    test::TempDir dir;
    dir.write("target", 10);
    dir.symlink("target", "link");

    const std::optional<FileIdentity> link = FileIdentity::fromPath(dir / "link");
    const std::optional<FileIdentity> target = FileIdentity::fromPath(dir / "target");
    ASSERT_TRUE(link && target);
    EXPECT_EQ(*link, lstatIdentity(dir / "link"));
    EXPECT_EQ(*target, lstatIdentity(dir / "target"));
    EXPECT_NE(link->inode, target->inode);

    EXPECT_EQ(FileIdentity::fromPath(dir / "missing"), std::nullopt);
    EXPECT_EQ(FileIdentity::fromPath(dir / "target/below"), std::nullopt);
}

TEST(FileIdentity, CheckTellsSameDifferentAndGone) {
    test::TempDir dir;
    dir.write("kept");
    dir.write("deleted");
    dir.write("replaced");
    // The old "replaced" stays alive under another name, so its inode cannot be reused by the
    // file that takes its name.
    dir.link("replaced", "old-replaced");
    dir.write("newcomer");

    const FileIdentity kept = *FileIdentity::fromPath(dir / "kept");
    const FileIdentity deleted = *FileIdentity::fromPath(dir / "deleted");
    const FileIdentity replaced = *FileIdentity::fromPath(dir / "replaced");
    ASSERT_EQ(std::remove((dir / "deleted").c_str()), 0);
    ASSERT_EQ(std::rename((dir / "newcomer").c_str(), (dir / "replaced").c_str()), 0);

    EXPECT_EQ(kept.check(dir / "kept"), IdentityMatch::same);
    EXPECT_EQ(deleted.check(dir / "deleted"), IdentityMatch::gone);
    EXPECT_EQ(replaced.check(dir / "replaced"), IdentityMatch::different);
    EXPECT_EQ(replaced.check(dir / "old-replaced"), IdentityMatch::same);
    // A path that continues below a plain file fails with ENOTDIR.
    EXPECT_EQ(kept.check(dir / "kept/below"), IdentityMatch::gone);
    // The same inode number on another device is another object.
    EXPECT_EQ(FileIdentity(kept.device + 1, kept.inode).check(dir / "kept"), IdentityMatch::different);
}

TEST(FileIdentity, CheckBehindAFolderThatCannotBeSearchedIsUnreadable) {
    test::TempDir dir;
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    dir.write("open");
    dir.mkdir("locked", 0000);
    const FileIdentity open = *FileIdentity::fromPath(dir / "open");
    const FileIdentity someone(open.device, open.inode + 1);

    // Root may search anything, so a child drops to "nobody" first.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)) {
            ::_exit(10);
        }
        if (open.check(dir / "open") != IdentityMatch::same) ::_exit(11);
        if (someone.check(dir / "locked/item") != IdentityMatch::unreadable) ::_exit(12);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ::chmod((dir / "locked").c_str(), 0755);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "10: could not drop privileges, 11: readable file not same, "
                                         "12: locked path not unreadable";
}

TEST(FileIdentity, EqualityAndHashCoverBothFields) {
    const std::unordered_set<FileIdentity> identities = {
        FileIdentity(1, 7), FileIdentity(1, 7), FileIdentity(2, 7), FileIdentity(1, 8), FileIdentity(-1, 7),
    };
    EXPECT_EQ(identities.size(), 4u);
    EXPECT_EQ(identities.count(FileIdentity(-1, 7)), 1u);
    EXPECT_NE(FileIdentity(-1, 7), FileIdentity(1, 7));
}
