#include "scankit/volume.h"

#include <gtest/gtest.h>

#include <map>
#include <unordered_set>

using namespace hollowmere;

namespace {

constexpr int64_t GB = 1'000'000'000;

// Answers from tables keyed by mount point; a mount point it does not know has no capacity.
class FakeProbe : public VolumeProbe {
public:
    std::map<std::string, Capacity> capacities;
    std::map<std::string, Device> devices;
    std::map<std::string, std::string> labels;

    std::optional<Capacity> capacity(const MountEntry& mount) const override {
        const auto found = capacities.find(mount.mountPoint);
        if (found == capacities.end()) return std::nullopt;
        return found->second;
    }
    Device device(const MountEntry& mount) const override {
        const auto found = devices.find(mount.mountPoint);
        return found == devices.end() ? Device{} : found->second;
    }
    std::optional<std::string> label(const MountEntry& mount) const override {
        const auto found = labels.find(mount.mountPoint);
        if (found == labels.end()) return std::nullopt;
        return found->second;
    }
};

constexpr VolumeProbe::Device internal{true, false};
constexpr VolumeProbe::Device usb{false, true};

// A desktop's mounts: kernel interfaces, snaps, container layers, a btrfs system with
// subvolumes, bind mounts, a stacked mount, external disks and a network share.
const char* const desktopMounts =
    "20 1 0:30 /@ / rw,relatime - btrfs /dev/nvme0n1p2 rw,subvol=/@\n"
    "21 20 0:21 / /proc rw - proc proc rw\n"
    "22 20 0:22 / /sys rw - sysfs sysfs rw\n"
    "23 22 0:23 / /sys/fs/cgroup rw - cgroup2 cgroup2 rw\n"
    "24 20 0:5 / /dev rw - devtmpfs udev rw\n"
    "25 24 0:24 / /dev/shm rw - tmpfs tmpfs rw\n"
    "26 20 0:25 / /run rw - tmpfs tmpfs rw\n"
    "27 26 0:26 / /run/user/1000 rw - tmpfs tmpfs rw\n"
    "28 27 0:27 / /run/user/1000/doc rw - fuse.portal portal rw\n"
    "29 20 0:28 / /tmp rw - tmpfs tmpfs rw\n"
    "30 20 0:30 /@home /home rw - btrfs /dev/nvme0n1p2 rw,subvol=/@home\n"
    "31 20 259:1 / /boot/efi rw - vfat /dev/nvme0n1p1 rw\n"
    "32 20 7:0 / /snap/core22/1122 ro - squashfs /dev/loop0 ro\n"
    "33 20 0:40 / /var/lib/docker/overlay2/abc/merged rw - overlay overlay rw,lowerdir=/x\n"
    "34 26 8:17 / /run/media/me/Stick rw - exfat /dev/sdb1 rw\n"
    "35 20 8:33 / /media/me/Backup\\04010 rw - ext4 /dev/sdc1 rw\n"
    "36 20 8:49 / /media/me/Backup\\0409 ro - ext4 /dev/sdd1 ro\n"
    "37 20 8:33 /photos /srv/photos rw - ext4 /dev/sdc1 rw\n"       // bind mount of a subfolder
    "38 20 8:65 / /mnt/data rw - xfs /dev/sde1 rw\n"
    "39 20 8:65 / /home/me/data rw - xfs /dev/sde1 rw\n"             // same file system again
    "40 20 0:50 / /net/share rw - nfs4 server:/export rw\n"
    "41 20 8:81 / /mnt/stack rw - ext4 /dev/sdf1 rw\n"
    "42 41 8:97 / /mnt/stack rw - ext4 /dev/sdg1 rw\n"               // covers mount 41
    "43 20 8:113 / /mnt/empty rw - ext4 /dev/sdh1 rw\n"              // total capacity 0
    "44 20 8:129 / /mnt/unreadable rw - ext4 /dev/sdi1 rw\n"         // statvfs fails
    "45 20 8:145 / /mnt/alpha rw - ext4 /dev/sdj1 rw\n"
    "46 20 8:161 / /mnt/beta rw - ext4 /dev/sdk1 rw\n";

FakeProbe desktopProbe() {
    FakeProbe probe;
    for (const char* point : {"/", "/home", "/boot/efi", "/run/media/me/Stick", "/media/me/Backup 10",
                              "/media/me/Backup 9", "/srv/photos", "/mnt/data", "/home/me/data", "/net/share",
                              "/mnt/stack", "/mnt/alpha", "/mnt/beta", "/tmp", "/proc", "/sys", "/dev/shm",
                              "/snap/core22/1122", "/var/lib/docker/overlay2/abc/merged", "/run/user/1000",
                              "/run/user/1000/doc"}) {
        probe.capacities[point] = {500 * GB, 120 * GB};
    }
    probe.capacities["/mnt/empty"] = {0, 0};
    for (const char* point : {"/", "/home", "/boot/efi", "/mnt/data", "/home/me/data", "/mnt/stack"}) {
        probe.devices[point] = internal;
    }
    for (const char* point : {"/run/media/me/Stick", "/media/me/Backup 10", "/media/me/Backup 9", "/mnt/alpha",
                              "/mnt/beta"}) {
        probe.devices[point] = usb;
    }
    probe.devices["/net/share"] = internal; // must be ignored for a network share
    probe.labels["/"] = "zz System";        // sorts last by name, still comes first
    probe.labels["/mnt/alpha"] = "same"; // a case-sensitive order would put "Same" first
    probe.labels["/mnt/beta"] = "Same";
    return probe;
}

std::vector<std::string> urls(const std::vector<Volume>& volumes) {
    std::vector<std::string> out;
    for (const Volume& volume : volumes) out.push_back(volume.url);
    return out;
}

} // namespace

TEST(Volume, ListsEachRealFileSystemOnceInDisplayOrder) {
    const std::vector<Volume> volumes = Volume::list(MountTable::parse(desktopMounts), desktopProbe());
    EXPECT_EQ(urls(volumes), (std::vector<std::string>{
                                 "/",                   // startup disk first, "/home" is the same btrfs
                                 "/mnt/data",           // internal, by name: "data", "efi", "stack"
                                 "/boot/efi",
                                 "/mnt/stack",          // only the mount on top
                                 "/media/me/Backup 9",  // external, numbers compared by value
                                 "/media/me/Backup 10", // (its bind mount /srv/photos folded in)
                                 "/mnt/alpha",          // "same" and "Same" tie: table order kept
                                 "/mnt/beta",
                                 "/net/share",
                                 "/run/media/me/Stick",
                             }));
}

TEST(Volume, FillsFieldsFromTheMountAndTheProbe) {
    const std::vector<Volume> volumes = Volume::list(MountTable::parse(desktopMounts), desktopProbe());
    ASSERT_FALSE(volumes.empty());

    Volume expected;
    expected.url = "/";
    expected.name = "zz System";
    expected.total = 500 * GB;
    expected.available = 120 * GB;
    expected.availableForImportantUsage = 120 * GB;
    expected.isStartupDisk = true;
    expected.isInternal = true;
    expected.format = "Btrfs";
    EXPECT_EQ(volumes[0], expected);
    EXPECT_EQ(volumes[0].used(), 380 * GB);
    EXPECT_EQ(volumes[0].purgeable(), 0);

    const auto find = [&](std::string_view url) -> const Volume& {
        for (const Volume& volume : volumes) {
            if (volume.url == url) return volume;
        }
        throw std::runtime_error("no volume at " + std::string(url));
    };
    const Volume& backup9 = find("/media/me/Backup 9");
    EXPECT_EQ(backup9.name, "Backup 9");
    EXPECT_TRUE(backup9.isReadOnly);
    EXPECT_TRUE(backup9.isEjectable);
    EXPECT_FALSE(backup9.isInternal);
    EXPECT_TRUE(backup9.isLocal);
    EXPECT_EQ(backup9.format, "ext4");

    const Volume& share = find("/net/share");
    EXPECT_FALSE(share.isLocal);
    EXPECT_FALSE(share.isInternal);
    EXPECT_FALSE(share.isEjectable);
    EXPECT_FALSE(share.isReadOnly);
    EXPECT_EQ(share.format, "NFS");

    EXPECT_EQ(find("/run/media/me/Stick").format, "exFAT");
}

TEST(Volume, ReadsOneMountPoint) {
    const MountTable table = MountTable::parse(desktopMounts);
    const FakeProbe probe = desktopProbe();

    const std::optional<Volume> backup = Volume::read(table, "/media/me/Backup 9/", probe);
    ASSERT_TRUE(backup);
    EXPECT_EQ(backup->url, "/media/me/Backup 9");
    EXPECT_EQ(Volume::read(table, "/mnt/stack", probe)->isInternal, true);

    // A subvolume mount point is read as itself, unlike in the listing.
    EXPECT_EQ(Volume::read(table, "/home", probe)->url, "/home");
    // Not mount points, not volumes, no capacity.
    for (const char* point : {"/media/me", "/media/me/Backup 9/sub", "/proc", "/tmp", "/run/user/1000/doc",
                              "/snap/core22/1122", "/mnt/empty", "/mnt/unreadable"}) {
        EXPECT_EQ(Volume::read(table, point, probe), std::nullopt) << point;
    }
}

TEST(Volume, RootNameAndContainerRoot) {
    // In a container the whole system is an overlay at "/"; without a label the root gets a name.
    const MountTable table = MountTable::parse("1 0 0:40 / / rw - overlay overlay rw\n");
    FakeProbe probe;
    probe.capacities["/"] = {10 * GB, 4 * GB};
    const std::vector<Volume> volumes = Volume::list(table, probe);
    ASSERT_EQ(volumes.size(), 1u);
    EXPECT_EQ(volumes[0].name, "File System");
    EXPECT_TRUE(volumes[0].isStartupDisk);
}

TEST(Volume, ComparesNamesNaturally) {
    struct Case {
        const char* a;
        const char* b;
        int order;
    };
    const Case cases[] = {
        {"Backup 9", "Backup 10", -1}, {"Disk 2", "Disk 10", -1}, {"disk", "DISK", 0},   {"apple", "Banana", -1},
        {"Zebra", "apple", 1},         {"x01", "x1", 0},          {"x007b", "x7a", 1},   {"a2b", "a10a", -1},
        {"abc", "abcd", -1},           {"", "a", -1},             {"", "", 0},           {"1", "a", -1},
        {"v1.10", "v1.9", 1},          {"99999999999999999999", "100000000000000000000", -1},
    };
    for (const Case& c : cases) {
        const int order = Volume::compareNames(c.a, c.b);
        EXPECT_EQ((order > 0) - (order < 0), c.order) << c.a << " vs " << c.b;
        const int reverse = Volume::compareNames(c.b, c.a);
        EXPECT_EQ((reverse > 0) - (reverse < 0), -c.order) << c.b << " vs " << c.a;
    }
}

TEST(Volume, EqualityAndHashCoverEveryField) {
    Volume base;
    base.url = "/mnt/a";
    base.name = "a";
    base.total = 10;
    std::vector<Volume> variants(8, base);
    variants[1].url = "/mnt/b";
    variants[2].available = 1;
    variants[3].availableForImportantUsage = 2;
    variants[4].isEjectable = true;
    variants[5].isLocal = false;
    variants[6].format = "ext4";
    variants[7].format = "";
    const std::unordered_set<Volume> set(variants.begin(), variants.end());
    EXPECT_EQ(set.size(), 8u);
    EXPECT_EQ(set.count(base), 1u);
}

TEST(Volume, DecodesLabelLinkNames) {
    EXPECT_EQ(decodeDeviceLinkName("My\\x20Disk"), "My Disk");
    EXPECT_EQ(decodeDeviceLinkName("a\\x2fb\\x5C"), "a/b\\");
    EXPECT_EQ(decodeDeviceLinkName("odd\\xZZ\\x4"), "odd\\xZZ\\x4");
}

TEST(Volume, MountedListsThisMachinesRootFirst) {
    const std::vector<Volume> volumes = Volume::mounted();
    ASSERT_FALSE(volumes.empty());
    EXPECT_EQ(volumes[0].url, "/");
    EXPECT_TRUE(volumes[0].isStartupDisk);
    EXPECT_GT(volumes[0].total, 0);
    EXPECT_GE(volumes[0].available, 0);
    EXPECT_LE(volumes[0].available, volumes[0].total);
    for (size_t i = 1; i < volumes.size(); ++i) EXPECT_FALSE(volumes[i].isStartupDisk) << volumes[i].url;

    const std::optional<Volume> root = Volume::read("/");
    ASSERT_TRUE(root);
    EXPECT_EQ(root->url, "/");
    EXPECT_EQ(root->total, volumes[0].total);
}
