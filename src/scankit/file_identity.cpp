#include "file_identity.h"

#include <sys/stat.h>

#include <cerrno>

namespace hollowmere {

namespace {

// The kernel's device numbers have 12 major and 20 minor bits, and glibc's encoding of them
// fits in 32 bits, so the pattern is kept whole; it only looks negative when a minor is large.
int32_t devicePattern(dev_t device) {
    return static_cast<int32_t>(static_cast<uint32_t>(device));
}

} // namespace

std::optional<FileIdentity> FileIdentity::fromPath(const std::string& path) {
    struct stat status{};
    if (::lstat(path.c_str(), &status) != 0) return std::nullopt;
    return FileIdentity(devicePattern(status.st_dev), static_cast<uint64_t>(status.st_ino));
}

IdentityMatch FileIdentity::check(const std::string& path) const {
    struct stat status{};
    if (::lstat(path.c_str(), &status) != 0) {
        return errno == ENOENT || errno == ENOTDIR ? IdentityMatch::gone : IdentityMatch::unreadable;
    }
    const bool same = devicePattern(status.st_dev) == device && static_cast<uint64_t>(status.st_ino) == inode;
    return same ? IdentityMatch::same : IdentityMatch::different;
}

} // namespace hollowmere
