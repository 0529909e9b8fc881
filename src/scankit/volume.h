#pragma once

#include "mount_table.h"
#include "volume_probe.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hollowmere {

// One mounted file system that can be offered for scanning, with its capacity figures.
struct Volume {
    std::string url; // the mount point; also the volume's identity
    std::string name;
    int64_t total = 0;
    int64_t available = 0;
    // Free space plus what the system could purge on demand; never below `available`. Linux
    // has no purgeable space, so it equals `available` here.
    int64_t availableForImportantUsage = 0;
    bool isStartupDisk = false;
    bool isInternal = false;
    bool isEjectable = false;
    bool isReadOnly = false;
    bool isLocal = true;
    std::optional<std::string> format;

    const std::string& id() const { return url; }
    int64_t used() const;
    int64_t purgeable() const;

    // The volume mounted at `mountPoint` (trailing slashes ignored); absent when nothing that
    // counts as a volume is mounted there or its capacity cannot be read or is 0.
    static std::optional<Volume> read(const std::string& mountPoint);
    static std::optional<Volume> read(const MountTable& table, std::string_view mountPoint, const VolumeProbe& probe);

    // Every mounted volume, each file system once, in display order. Empty when the mount
    // table cannot be read.
    static std::vector<Volume> mounted();
    static std::vector<Volume> list(const MountTable& table, const VolumeProbe& probe);

    // The display order: the startup disk first, internal before external, then by name.
    static bool precedes(const Volume& a, const Volume& b);
    // Names compared case-insensitively with runs of digits compared by value ("Backup 9"
    // before "Backup 10"): negative, zero or positive.
    static int compareNames(std::string_view a, std::string_view b);
    // Whether a mount is a volume at all, judged from the table alone (pseudo file systems,
    // snap images, container layers and mounts under /proc, /sys, /dev and /run are not).
    static bool isVolumeMount(const MountEntry& mount);
    // A readable name for a file-system type ("ext4", "Btrfs", "FAT", "NFS"...).
    static std::optional<std::string> formatDescription(std::string_view type);

    friend bool operator==(const Volume&, const Volume&) = default;
};

} // namespace hollowmere

template <>
struct std::hash<hollowmere::Volume> {
    size_t operator()(const hollowmere::Volume& volume) const noexcept;
};
