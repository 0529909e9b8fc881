#include "directory_reader.h"

#include "hard_link_set.h"
#include "unique_fd.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace hollowmere {

namespace {

constexpr int folderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

// The head of a record getdents64 writes; the name follows at byte 19 and runs to a zero byte.
struct LinuxDirent64 {
    uint64_t d_ino;
    int64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
};
constexpr size_t direntNameOffset = 19;

// Walks the path one component at a time with O_NOFOLLOW, for kernels without openat2.
int openFolderByComponents(const char* path) {
    UniqueFd current(::open("/", folderFlags));
    if (!current) return -1;
    const char* p = path;
    while (*p) {
        while (*p == '/') ++p;
        const char* end = std::strchr(p, '/');
        const size_t length = end ? static_cast<size_t>(end - p) : std::strlen(p);
        if (length == 0) break;
        std::string component(p, length);
        UniqueFd next(::openat(current.get(), component.c_str(), folderFlags | O_NOFOLLOW));
        if (!next) {
            if (errno == ENOTDIR) {
                // O_NOFOLLOW on a link reports ELOOP or ENOTDIR; tell a link by its status.
                struct stat st{};
                if (::fstatat(current.get(), component.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode)) {
                    errno = ELOOP;
                }
            }
            return -1;
        }
        current = std::move(next);
        p += length;
    }
    return current.release();
}

uint32_t objectType(uint16_t mode) {
    switch (mode & S_IFMT) {
    case S_IFREG: return ListedEntry::regular;
    case S_IFDIR: return ListedEntry::directory;
    case S_IFLNK: return ListedEntry::symlink;
    default: return 0xff; // sockets, pipes, devices: `other`
    }
}

} // namespace

DirectoryReader::DirectoryReader() : buffer_(new std::byte[bufferSize]) {}

int DirectoryReader::openFolder(const char* path) {
    static std::atomic<bool> hasOpenat2{true};
    if (hasOpenat2.load(std::memory_order_relaxed)) {
        open_how how{};
        how.flags = folderFlags;
        how.resolve = RESOLVE_NO_SYMLINKS;
        const long fd = ::syscall(SYS_openat2, AT_FDCWD, path, &how, sizeof how);
        if (fd >= 0 || errno != ENOSYS) return static_cast<int>(fd);
        hasOpenat2.store(false, std::memory_order_relaxed);
    }
    return openFolderByComponents(path);
}

int DirectoryReader::read(const std::string& path, Listing& listing, HardLinkSet& hardLinks) {
    listing.clear();
    UniqueFd folder(openFolder(path.c_str()));
    if (!folder) return errno;

    // The folder's own device, read only where the kernel does not mark mount roots.
    bool haveFolderDevice = false;
    uint32_t folderMajor = 0, folderMinor = 0;

    constexpr unsigned statxMask = STATX_TYPE | STATX_MODE | STATX_NLINK | STATX_INO | STATX_BLOCKS;
    constexpr int statxFlags = AT_SYMLINK_NOFOLLOW | AT_STATX_DONT_SYNC | AT_NO_AUTOMOUNT;

    for (;;) {
        const long n = ::syscall(SYS_getdents64, folder.get(), buffer_.get(), bufferSize);
        if (n == 0) break;
        if (n < 0) {
            const int error = errno;
            listing.clear();
            return error;
        }
        for (long offset = 0; offset < n;) {
            const auto* d = reinterpret_cast<const LinuxDirent64*>(buffer_.get() + offset);
            offset += d->d_reclen;
            const char* name = reinterpret_cast<const char*>(d) + direntNameOffset;
            if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;

            ListedEntry entry;
            entry.name = name;
            struct statx stx{};
            if (::statx(folder.get(), name, statxFlags, statxMask, &stx) != 0) {
                entry.error = static_cast<uint32_t>(errno ? errno : EIO);
                listing.append(entry, hardLinks);
                continue;
            }
            entry.objectType = (stx.stx_mask & STATX_TYPE) ? objectType(stx.stx_mode) : ListedEntry::none;
            if (stx.stx_mask & STATX_NLINK) entry.linkCount = stx.stx_nlink;
            if (stx.stx_mask & STATX_BLOCKS) entry.allocatedSize = stx.stx_blocks * 512;
            entry.device = (uint64_t{stx.stx_dev_major} << 32) | stx.stx_dev_minor;
            entry.fileId = stx.stx_ino;
            if (entry.objectType == ListedEntry::directory) {
                if (stx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) {
                    entry.onMount = stx.stx_attributes & STATX_ATTR_MOUNT_ROOT;
                } else {
                    if (!haveFolderDevice) {
                        struct statx own{};
                        if (::statx(folder.get(), "", AT_EMPTY_PATH | AT_STATX_DONT_SYNC, STATX_TYPE, &own) == 0) {
                            folderMajor = own.stx_dev_major;
                            folderMinor = own.stx_dev_minor;
                            haveFolderDevice = true;
                        }
                    }
                    entry.onMount = haveFolderDevice &&
                                    (stx.stx_dev_major != folderMajor || stx.stx_dev_minor != folderMinor);
                }
                if (stx.stx_attributes_mask & STATX_ATTR_AUTOMOUNT) {
                    entry.onMount = entry.onMount || (stx.stx_attributes & STATX_ATTR_AUTOMOUNT);
                }
            }
            listing.append(entry, hardLinks);
        }
    }
    return 0;
}

} // namespace hollowmere
