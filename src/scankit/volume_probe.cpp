#include "volume_probe.h"

#include "saturating.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace hollowmere {

namespace {

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};
using UniqueDir = std::unique_ptr<DIR, DirCloser>;

struct FreeDeleter {
    void operator()(char* p) const { std::free(p); }
};

bool exists(const std::string& path) {
    struct stat status{};
    return ::stat(path.c_str(), &status) == 0;
}

std::optional<std::string> resolved(const std::string& path) {
    std::unique_ptr<char, FreeDeleter> real(::realpath(path.c_str(), nullptr));
    if (!real) return std::nullopt;
    return std::string(real.get());
}

std::string firstLine(const std::string& path) {
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "re"), &std::fclose);
    if (!file) return {};
    char buffer[64] = {};
    if (!std::fgets(buffer, sizeof buffer, file.get())) return {};
    std::string line(buffer);
    while (!line.empty() && (line.back() == '\n' || line.back() == ' ')) line.pop_back();
    return line;
}

// The block device that holds a mount: its own device number when the kernel has it as a
// block device, else the device named as its source (btrfs reports an anonymous number).
std::optional<dev_t> blockDevice(const MountEntry& mount) {
    if (mount.major != 0 && exists("/sys/dev/block/" + std::to_string(mount.major) + ":" + std::to_string(mount.minor))) {
        return makedev(mount.major, mount.minor);
    }
    if (mount.source.starts_with("/dev/")) {
        struct stat status{};
        if (::stat(mount.source.c_str(), &status) == 0 && S_ISBLK(status.st_mode)) return status.st_rdev;
    }
    return std::nullopt;
}

// The sysfs folder of the physical disk under a block device: from a partition to its disk,
// and through device-mapper or RAID layers to the first device below them.
std::optional<std::string> physicalDisk(dev_t device) {
    std::optional<std::string> path =
        resolved("/sys/dev/block/" + std::to_string(major(device)) + ":" + std::to_string(minor(device)));
    for (int depth = 0; path && depth < 8; ++depth) {
        if (exists(*path + "/partition")) {
            path = path->substr(0, path->rfind('/'));
            continue;
        }
        UniqueDir slaves(::opendir((*path + "/slaves").c_str()));
        if (!slaves) break;
        std::optional<std::string> below;
        while (const dirent* entry = ::readdir(slaves.get())) {
            const std::string_view name = entry->d_name;
            if (name == "." || name == "..") continue;
            below = resolved(*path + "/slaves/" + std::string(name));
            break;
        }
        if (!below) break;
        path = std::move(below);
    }
    return path;
}

class SystemVolumeProbe final : public VolumeProbe {
public:
    std::optional<Capacity> capacity(const MountEntry& mount) const override {
        // A file bind-mounted over a file is no volume.
        struct stat status{};
        if (::lstat(mount.mountPoint.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) return std::nullopt;
        struct statvfs fs{};
        if (::statvfs(mount.mountPoint.c_str(), &fs) != 0) return std::nullopt;
        return Capacity{Saturating::multiply(fs.f_blocks, fs.f_frsize), Saturating::multiply(fs.f_bavail, fs.f_frsize)};
    }

    Device device(const MountEntry& mount) const override {
        const std::optional<dev_t> block = blockDevice(mount);
        if (!block) return {};
        const std::optional<std::string> disk = physicalDisk(*block);
        if (!disk) return {};
        // A disk that reports itself removable, or any disk attached over USB, can be ejected.
        const bool removable = firstLine(*disk + "/removable") == "1";
        const bool onUsb = disk->find("/usb") != std::string::npos;
        const bool ejectable = removable || onUsb;
        return Device{!ejectable, ejectable};
    }

    std::optional<std::string> label(const MountEntry& mount) const override {
        const std::optional<dev_t> block = blockDevice(mount);
        if (!block) return std::nullopt;
        constexpr const char* folder = "/dev/disk/by-label";
        UniqueDir labels(::opendir(folder));
        if (!labels) return std::nullopt;
        while (const dirent* entry = ::readdir(labels.get())) {
            const std::string name = entry->d_name;
            if (name == "." || name == "..") continue;
            struct stat status{};
            if (::stat((std::string(folder) + "/" + name).c_str(), &status) == 0 && S_ISBLK(status.st_mode) &&
                status.st_rdev == *block) {
                return decodeDeviceLinkName(name);
            }
        }
        return std::nullopt;
    }
};

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

} // namespace

const VolumeProbe& VolumeProbe::system() {
    static const SystemVolumeProbe probe;
    return probe;
}

std::string decodeDeviceLinkName(std::string_view name) {
    std::string out;
    out.reserve(name.size());
    for (size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '\\' && i + 3 < name.size() && name[i + 1] == 'x') {
            const int high = hexValue(name[i + 2]);
            const int low = hexValue(name[i + 3]);
            if (high >= 0 && low >= 0) {
                out.push_back(static_cast<char>(high * 16 + low));
                i += 3;
                continue;
            }
        }
        out.push_back(name[i]);
    }
    return out;
}

} // namespace hollowmere
