#include "scan_age.h"

#include "mount_table.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/vfs.h>

#include <algorithm>
#include <array>
#include <cstdint>

namespace hollowmere::ScanAge {

namespace {

// The folder that holds the item: the path without its last component ("/" for an item
// directly below the root, "." for a bare name).
std::string holdingFolder(const std::string& path) {
    std::string_view p = path;
    while (p.size() > 1 && p.back() == '/') p.remove_suffix(1);
    const size_t slash = p.rfind('/');
    if (slash == std::string_view::npos) return ".";
    if (slash == 0) return "/";
    return std::string(p.substr(0, slash));
}

// statfs magic numbers of network file systems, for when the mount table cannot say.
bool isNetworkMagic(int64_t magic) {
    constexpr std::array<int64_t, 10> network = {
        0x6969,     // NFS
        0x517B,     // SMB
        0xFF534D42, // CIFS
        0xFE534D42, // SMB2
        0x00C36400, // Ceph
        0x01021997, // 9p
        0x5346414F, // AFS (kernel client)
        0x6B414653, // AFS (kAFS)
        0x73757245, // Coda
        0x564C,     // NCP
    };
    return std::find(network.begin(), network.end(), magic) != network.end();
}

// Whether the folder lies on a local file system: its mount's type decides; the statfs magic
// serves when the device is not in the table (a btrfs subvolume reports a device of its own).
std::optional<bool> folderIsLocal(const std::string& folder) {
    struct statx status{};
    if (::statx(AT_FDCWD, folder.c_str(), AT_STATX_DONT_SYNC, STATX_TYPE, &status) == 0) {
        if (const std::optional<MountTable> table = MountTable::read()) {
            if (const MountEntry* mount = table->ofDevice(status.stx_dev_major, status.stx_dev_minor)) {
                return !isNetworkFileSystem(mount->fsType);
            }
        }
    }
    struct statfs fs{};
    if (::statfs(folder.c_str(), &fs) != 0) return std::nullopt;
    return !isNetworkMagic(static_cast<int64_t>(static_cast<uint32_t>(fs.f_type)));
}

} // namespace

struct ::timespec timespec(Date date) {
    // Whole nanoseconds since 1970: exact, where a float of seconds would round them.
    const auto sinceEpoch = std::chrono::duration_cast<std::chrono::nanoseconds>(date.time_since_epoch());
    const auto seconds = std::chrono::floor<std::chrono::seconds>(sinceEpoch);
    struct ::timespec result{};
    result.tv_sec = static_cast<time_t>(seconds.count());
    result.tv_nsec = static_cast<long>((sinceEpoch - seconds).count());
    return result;
}

bool createdAfter(const std::string& path, Date date) {
    struct statx status{};
    if (::statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW | AT_STATX_DONT_SYNC, STATX_BTIME, &status) != 0) {
        return false;
    }
    // The holding folder's volume judges a link by where it lies, not where it points.
    if (folderIsLocal(holdingFolder(path)) != true) return false;
    if (!(status.stx_mask & STATX_BTIME)) return false;

    const struct ::timespec limit = timespec(date);
    const int64_t bornSeconds = status.stx_btime.tv_sec;
    const int64_t bornNanoseconds = status.stx_btime.tv_nsec;
    return bornSeconds > limit.tv_sec || (bornSeconds == limit.tv_sec && bornNanoseconds > limit.tv_nsec);
}

} // namespace hollowmere::ScanAge
