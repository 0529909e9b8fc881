#include "scankit/mount_table.h"

#include <gtest/gtest.h>

using namespace hollowmere;

TEST(MountTable, ParsesFieldsOptionalTagsAndEscapes) {
    const MountTable table = MountTable::parse(
        "28 1 254:0 / / rw,relatime shared:1 - ext4 /dev/vda rw,discard\n"
        "95 28 8:17 /photos/2024 /media/me/My\\040Disk\\011x rw,nosuid master:3 shared:7 - vfat /dev/sdb1 ro,uid=1000\n"
        "96 28 0:55 / /mnt/back\\134slash ro - nfs4  rw,vers=4.2\n"
        "97 28 0:56 / /mnt/bad\\8xx\\04 rw - fuse.sshfs me@host:/home rw\n");
    ASSERT_EQ(table.entries().size(), 4u);

    const MountEntry& root = table.entries()[0];
    EXPECT_EQ(root, (MountEntry{28, 1, 254, 0, "/", "/", "rw,relatime", "ext4", "/dev/vda", "rw,discard"}));

    const MountEntry& disk = table.entries()[1];
    EXPECT_EQ(disk.mountId, 95);
    EXPECT_EQ(disk.major, 8u);
    EXPECT_EQ(disk.minor, 17u);
    EXPECT_EQ(disk.root, "/photos/2024");
    EXPECT_EQ(disk.mountPoint, "/media/me/My Disk\tx");
    EXPECT_EQ(disk.fsType, "vfat");
    EXPECT_EQ(disk.source, "/dev/sdb1");
    EXPECT_TRUE(disk.hasOption("ro"));  // from the file system's options
    EXPECT_TRUE(disk.hasOption("nosuid"));
    EXPECT_FALSE(disk.hasOption("uid"));

    EXPECT_EQ(table.entries()[2].mountPoint, "/mnt/back\\slash");
    EXPECT_EQ(table.entries()[2].source, "");
    EXPECT_TRUE(table.entries()[2].hasOption("ro"));
    // Backslashes without three octal digits are kept as they are.
    EXPECT_EQ(table.entries()[3].mountPoint, "/mnt/bad\\8xx\\04");
}

TEST(MountTable, SkipsLinesWithoutTheExpectedShape) {
    const MountTable table = MountTable::parse(
        "\n"
        "garbage\n"
        "1 0 8:1 / / rw ext4 /dev/sda1 rw\n"             // no separator
        "x 0 8:1 / / rw - ext4 /dev/sda1 rw\n"           // id not a number
        "2 0 81 / / rw - ext4 /dev/sda1 rw\n"            // no major:minor
        "3 0 8:1 / / rw - ext4 /dev/sda1 rw extra\n"     // too many fields after the separator
        "4 0 8:2 / /ok rw - ext4 /dev/sda2 rw");         // the last line needs no newline
    ASSERT_EQ(table.entries().size(), 1u);
    EXPECT_EQ(table.entries()[0].mountPoint, "/ok");
}

TEST(MountTable, FindsTheVisibleMountAtAPointAndOfADevice) {
    const MountTable table = MountTable::parse(
        "1 0 8:1 / / rw - ext4 /dev/sda1 rw\n"
        "2 1 8:17 / /mnt/x rw - ext4 /dev/sdb1 rw\n"
        "3 2 8:33 / /mnt/x rw - xfs /dev/sdc1 rw\n"       // on top of mount 2
        "4 1 8:17 /sub /srv/sub rw - ext4 /dev/sdb1 rw\n");
    const auto& e = table.entries();
    EXPECT_FALSE(table.isCovered(e[0]));
    EXPECT_TRUE(table.isCovered(e[1]));
    EXPECT_FALSE(table.isCovered(e[2]));

    EXPECT_EQ(table.atMountPoint("/mnt/x"), &e[2]);
    EXPECT_EQ(table.atMountPoint("/mnt/x//"), &e[2]);
    EXPECT_EQ(table.atMountPoint("/"), &e[0]);
    EXPECT_EQ(table.atMountPoint("/mnt"), nullptr);

    EXPECT_EQ(table.ofDevice(8, 17), &e[3]); // the covered mount is used only when nothing else shows it
    EXPECT_EQ(table.ofDevice(8, 33), &e[2]);
    EXPECT_EQ(table.ofDevice(9, 0), nullptr);
}

TEST(MountTable, ClassifiesFileSystemTypes) {
    struct Case {
        const char* type;
        bool network;
        bool noOwners;
    };
    const Case cases[] = {
        {"ext4", false, false},  {"btrfs", false, false},      {"nfs", true, false},  {"nfs4", true, false},
        {"cifs", true, false},   {"smb3", true, false},        {"ceph", true, false}, {"9p", true, false},
        {"afs", true, false},    {"fuse.sshfs", true, false},  {"vfat", false, true}, {"exfat", false, true},
        {"ntfs3", false, true},  {"fuseblk", false, true},     {"msdos", false, true}, {"fuse", false, false},
        {"", false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(isNetworkFileSystem(c.type), c.network) << c.type;
        EXPECT_EQ(ignoresOwnership(c.type), c.noOwners) << c.type;
    }
}

TEST(MountTable, ReadsThisProcessesMounts) {
    const std::optional<MountTable> table = MountTable::read();
    ASSERT_TRUE(table);
    EXPECT_NE(table->atMountPoint("/"), nullptr);
    EXPECT_EQ(MountTable::read("/nonexistent/mountinfo"), std::nullopt);
}
