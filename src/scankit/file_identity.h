#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace hollowmere {

// How the object now at a path relates to a remembered identity.
enum class IdentityMatch { same, different, gone, unreadable };

// One file-system object named by its device and inode, so that an item can be recognised
// after it was moved (put back from the Trash, dropped from the ledger when replaced).
struct FileIdentity {
    int32_t device = 0;
    uint64_t inode = 0;

    FileIdentity() = default;
    FileIdentity(int32_t device, uint64_t inode) : device(device), inode(inode) {}

    // The identity of the object at `path`, read with lstat: a symbolic link is the link
    // itself. Absent when lstat fails, whatever the reason.
    static std::optional<FileIdentity> fromPath(const std::string& path);

    // same / different: something is at `path` and is or is not this object; gone: nothing is
    // there (ENOENT, ENOTDIR); unreadable: any other failure, such as a folder on the way that
    // may not be searched.
    IdentityMatch check(const std::string& path) const;

    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

} // namespace hollowmere

template <>
struct std::hash<hollowmere::FileIdentity> {
    size_t operator()(const hollowmere::FileIdentity& identity) const noexcept {
        size_t seed = std::hash<uint32_t>()(static_cast<uint32_t>(identity.device));
        seed ^= std::hash<uint64_t>()(identity.inode) + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
        return seed;
    }
};
