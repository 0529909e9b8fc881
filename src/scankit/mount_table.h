#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hollowmere {

// One line of /proc/self/mountinfo, with the octal escapes (\040 and the like) decoded.
struct MountEntry {
    int32_t mountId = 0;
    int32_t parentId = 0;
    uint32_t major = 0;
    uint32_t minor = 0;
    std::string root;       // the folder of the file system that is mounted ("/" for its root)
    std::string mountPoint;
    std::string options;    // per-mount options
    std::string fsType;
    std::string source;
    std::string superOptions;

    // True when `option` is one of the comma-separated per-mount or file-system options.
    bool hasOption(std::string_view option) const;

    friend bool operator==(const MountEntry&, const MountEntry&) = default;
};

// The mounts of this process, in the kernel's order (a mount follows the one it lies on).
class MountTable {
public:
    MountTable() = default;
    explicit MountTable(std::vector<MountEntry> entries) : entries_(std::move(entries)) {}

    // Parses the text of a mountinfo file. Lines that do not have the expected shape are skipped.
    static MountTable parse(std::string_view text);
    // Reads and parses /proc/self/mountinfo (or `path`); absent when it cannot be read.
    static std::optional<MountTable> read(const char* path = "/proc/self/mountinfo");

    const std::vector<MountEntry>& entries() const { return entries_; }

    // True when another mount sits on exactly the same mount point on top of `entry`, so
    // that the path reaches the other one.
    bool isCovered(const MountEntry& entry) const;
    // The visible mount at `mountPoint` (trailing slashes ignored), if any.
    const MountEntry* atMountPoint(std::string_view mountPoint) const;
    // A mount of the file system with this device number, preferring a visible one.
    const MountEntry* ofDevice(uint32_t major, uint32_t minor) const;

private:
    std::vector<MountEntry> entries_;
};

// File-system types whose data lives on another machine (NFS, SMB, Ceph, 9p, AFS, sshfs...).
bool isNetworkFileSystem(std::string_view type);

// File-system types without Unix owners, where every item shows the mounting user's owner
// (FAT, exFAT, NTFS in its kernel and FUSE forms).
bool ignoresOwnership(std::string_view type);

} // namespace hollowmere
