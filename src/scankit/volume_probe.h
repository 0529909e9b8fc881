#pragma once

#include "mount_table.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace hollowmere {

// What the volume listing asks the system about one mount, apart from the mount table itself.
// Tests give a fake; `system()` reads statvfs, /sys and /dev/disk/by-label.
class VolumeProbe {
public:
    struct Capacity {
        int64_t total = 0;     // f_blocks x f_frsize
        int64_t available = 0; // f_bavail x f_frsize
    };
    struct Device {
        bool isInternal = false;
        bool isEjectable = false;
    };

    virtual ~VolumeProbe() = default;

    // Absent when the mount cannot be queried (or its mount point is not a folder).
    virtual std::optional<Capacity> capacity(const MountEntry& mount) const = 0;
    // Where the mount's block device sits; both false when there is none to be found.
    virtual Device device(const MountEntry& mount) const = 0;
    // The file-system label of the mount's block device, if it has one.
    virtual std::optional<std::string> label(const MountEntry& mount) const = 0;

    static const VolumeProbe& system();
};

// Decodes the \xNN escapes udev writes into the names of /dev/disk/by-label links.
std::string decodeDeviceLinkName(std::string_view name);

} // namespace hollowmere
