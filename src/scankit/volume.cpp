#include "volume.h"

#include "saturating.h"

#include <algorithm>
#include <iterator>
#include <tuple>
#include <utility>

namespace hollowmere {

namespace {

// The root file system has no last component to name it by.
constexpr std::string_view rootName = "File System";

bool isAtOrBelow(std::string_view path, std::string_view folder) {
    return path == folder || (path.size() > folder.size() && path.starts_with(folder) && path[folder.size()] == '/');
}

// Kernel interfaces, RAM-backed file systems, snap images and desktop helper mounts. tmpfs is
// left out everywhere, also at /tmp: it is memory, not a disk, and /tmp can still be scanned
// as a folder.
bool isPseudoFileSystem(std::string_view type) {
    static constexpr std::string_view types[] = {
        "proc",       "sysfs",        "cgroup",         "cgroup2",     "devtmpfs",       "devpts",
        "tmpfs",      "ramfs",        "rootfs",         "mqueue",      "debugfs",        "tracefs",
        "securityfs", "pstore",       "bpf",            "configfs",    "fusectl",        "binfmt_misc",
        "autofs",     "squashfs",     "nsfs",           "efivarfs",    "hugetlbfs",      "rpc_pipefs",
        "nfsd",       "selinuxfs",    "smackfs",        "sockfs",      "pipefs",         "anon_inodefs",
        "binder",     "xenfs",        "usbfs",          "fuse.portal", "fuse.gvfsd-fuse", "fuse.lxcfs",
        "fuse.snapfuse", "fuse.squashfuse",
    };
    return std::find(std::begin(types), std::end(types), type) != std::end(types);
}

std::string_view lastComponent(std::string_view path) {
    while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
    const size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::optional<Volume> makeVolume(const MountEntry& mount, const VolumeProbe& probe) {
    const std::optional<VolumeProbe::Capacity> capacity = probe.capacity(mount);
    if (!capacity || capacity->total <= 0) return std::nullopt;

    Volume volume;
    volume.url = mount.mountPoint;
    volume.total = capacity->total;
    volume.available = std::max<int64_t>(0, capacity->available);
    volume.availableForImportantUsage = volume.available;
    if (std::optional<std::string> label = probe.label(mount); label && !label->empty()) {
        volume.name = std::move(*label);
    } else if (const std::string_view last = lastComponent(mount.mountPoint); !last.empty() && last != "/") {
        volume.name = std::string(last);
    } else {
        volume.name = std::string(rootName);
    }
    volume.isStartupDisk = mount.mountPoint == "/";
    volume.isLocal = !isNetworkFileSystem(mount.fsType);
    if (volume.isLocal) {
        const VolumeProbe::Device device = probe.device(mount);
        volume.isInternal = device.isInternal;
        volume.isEjectable = device.isEjectable;
    }
    volume.isReadOnly = mount.hasOption("ro");
    volume.format = Volume::formatDescription(mount.fsType);
    return volume;
}

// Which of two mounts of one file system stands for it: the mount of its root folder, else the
// mount of the folder nearest its root (a btrfs "/@" before "/@home"), then the shortest mount
// point. Bind mounts of folders inside it fall behind.
bool representsBetter(const MountEntry& a, const MountEntry& b) {
    const auto key = [](const MountEntry& m) {
        return std::tuple(m.root != "/", m.root.size(), m.mountPoint.size());
    };
    return key(a) < key(b);
}

char fold(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

} // namespace

int64_t Volume::used() const { return std::max<int64_t>(0, Saturating::subtract(total, available)); }

int64_t Volume::purgeable() const {
    return std::max<int64_t>(0, Saturating::subtract(availableForImportantUsage, available));
}

bool Volume::isVolumeMount(const MountEntry& mount) {
    if (isPseudoFileSystem(mount.fsType)) return false;
    // Container layers are only a volume when they are the whole system.
    if ((mount.fsType == "overlay" || mount.fsType == "aufs") && mount.mountPoint != "/") return false;
    const std::string_view point = mount.mountPoint;
    if (isAtOrBelow(point, "/proc") || isAtOrBelow(point, "/sys") || isAtOrBelow(point, "/dev")) return false;
    // Under /run only the desktop's mounts of removable media count (/run/media/<user>/<label>).
    if (isAtOrBelow(point, "/run") && !isAtOrBelow(point, "/run/media")) return false;
    return true;
}

std::optional<Volume> Volume::read(const std::string& mountPoint) {
    const std::optional<MountTable> table = MountTable::read();
    if (!table) return std::nullopt;
    return read(*table, mountPoint, VolumeProbe::system());
}

std::optional<Volume> Volume::read(const MountTable& table, std::string_view mountPoint, const VolumeProbe& probe) {
    const MountEntry* mount = table.atMountPoint(mountPoint);
    if (!mount || !isVolumeMount(*mount)) return std::nullopt;
    return makeVolume(*mount, probe);
}

std::vector<Volume> Volume::mounted() {
    const std::optional<MountTable> table = MountTable::read();
    if (!table) return {};
    return list(*table, VolumeProbe::system());
}

std::vector<Volume> Volume::list(const MountTable& table, const VolumeProbe& probe) {
    // One mount per file system (same device number), kept in table order.
    std::vector<const MountEntry*> chosen;
    for (const MountEntry& mount : table.entries()) {
        if (!isVolumeMount(mount) || table.isCovered(mount)) continue;
        const auto same = std::find_if(chosen.begin(), chosen.end(), [&](const MountEntry* other) {
            return other->major == mount.major && other->minor == mount.minor;
        });
        if (same == chosen.end()) {
            chosen.push_back(&mount);
        } else if (representsBetter(mount, **same)) {
            *same = &mount;
        }
    }

    std::vector<Volume> volumes;
    volumes.reserve(chosen.size());
    for (const MountEntry* mount : chosen) {
        if (std::optional<Volume> volume = makeVolume(*mount, probe)) volumes.push_back(std::move(*volume));
    }
    std::stable_sort(volumes.begin(), volumes.end(), precedes);
    return volumes;
}

bool Volume::precedes(const Volume& a, const Volume& b) {
    if (a.isStartupDisk != b.isStartupDisk) return a.isStartupDisk;
    if (a.isInternal != b.isInternal) return a.isInternal;
    return compareNames(a.name, b.name) < 0;
}

int Volume::compareNames(std::string_view a, std::string_view b) {
    size_t i = 0;
    size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            // Compare the runs by value: skip leading zeros, then the longer run is larger, then
            // the first differing digit decides.
            size_t endA = i;
            size_t endB = j;
            while (endA < a.size() && isDigit(a[endA])) ++endA;
            while (endB < b.size() && isDigit(b[endB])) ++endB;
            while (i + 1 < endA && a[i] == '0') ++i;
            while (j + 1 < endB && b[j] == '0') ++j;
            const std::string_view runA = a.substr(i, endA - i);
            const std::string_view runB = b.substr(j, endB - j);
            if (runA.size() != runB.size()) return runA.size() < runB.size() ? -1 : 1;
            if (const int order = runA.compare(runB); order != 0) return order < 0 ? -1 : 1;
            i = endA;
            j = endB;
            continue;
        }
        const unsigned char ca = static_cast<unsigned char>(fold(a[i]));
        const unsigned char cb = static_cast<unsigned char>(fold(b[j]));
        if (ca != cb) return ca < cb ? -1 : 1;
        ++i;
        ++j;
    }
    const bool aLeft = i < a.size();
    const bool bLeft = j < b.size();
    return aLeft == bLeft ? 0 : (aLeft ? 1 : -1);
}

std::optional<std::string> Volume::formatDescription(std::string_view type) {
    static constexpr std::pair<std::string_view, std::string_view> names[] = {
        {"ext2", "ext2"},          {"ext3", "ext3"},
        {"ext4", "ext4"},          {"btrfs", "Btrfs"},
        {"xfs", "XFS"},            {"zfs", "ZFS"},
        {"f2fs", "F2FS"},          {"bcachefs", "bcachefs"},
        {"jfs", "JFS"},            {"reiserfs", "ReiserFS"},
        {"nilfs2", "NILFS2"},      {"vfat", "FAT"},
        {"msdos", "FAT"},          {"umsdos", "FAT"},
        {"fat", "FAT"},            {"exfat", "exFAT"},
        {"fuse.exfat", "exFAT"},   {"ntfs", "NTFS"},
        {"ntfs3", "NTFS"},         {"fuse.ntfs-3g", "NTFS"},
        {"fuse.ntfs", "NTFS"},     {"fuseblk", "FUSE"},
        {"hfsplus", "Mac OS Extended"}, {"hfs", "Mac OS Standard"},
        {"apfs", "APFS"},          {"iso9660", "ISO 9660"},
        {"udf", "UDF"},            {"nfs", "NFS"},
        {"nfs4", "NFS"},           {"cifs", "SMB"},
        {"smb3", "SMB"},           {"smbfs", "SMB"},
        {"ceph", "Ceph"},          {"9p", "9P"},
        {"afs", "AFS"},            {"fuse.sshfs", "SSHFS"},
        {"overlay", "OverlayFS"},  {"virtiofs", "virtiofs"},
    };
    if (type.empty()) return std::nullopt;
    for (const auto& [known, description] : names) {
        if (known == type) return std::string(description);
    }
    return std::string(type);
}

} // namespace hollowmere

size_t std::hash<hollowmere::Volume>::operator()(const hollowmere::Volume& volume) const noexcept {
    size_t seed = 0;
    const auto mix = [&seed](size_t value) { seed ^= value + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2); };
    mix(std::hash<std::string>()(volume.url));
    mix(std::hash<std::string>()(volume.name));
    mix(std::hash<int64_t>()(volume.total));
    mix(std::hash<int64_t>()(volume.available));
    mix(std::hash<int64_t>()(volume.availableForImportantUsage));
    const unsigned flags = (volume.isStartupDisk ? 1u : 0u) | (volume.isInternal ? 2u : 0u) |
                           (volume.isEjectable ? 4u : 0u) | (volume.isReadOnly ? 8u : 0u) |
                           (volume.isLocal ? 16u : 0u);
    mix(flags);
    mix(volume.format ? std::hash<std::string>()(*volume.format) : 0x5bd1e995u);
    return seed;
}
