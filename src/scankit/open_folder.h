#pragma once

#include "trash_mover.h"
#include "unique_fd.h"

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>

namespace hollowmere {

// One open folder descriptor, closed when released: every folder the Trash mover works in.
// The building blocks below read and open things relative to it, never following a symbolic
// link, and fail with TrashMover::Failure.
class OpenFolder {
public:
    // Where a folder lies: the device and the mount it was reached through. A rename works
    // only within one mount, so two folders are on the same volume when both match.
    struct Placement {
        dev_t device = 0;
        uint64_t mountId = 0; // 0 when the kernel does not say

        bool sameVolume(const Placement& other) const {
            return device == other.device &&
                   (mountId == 0 || other.mountId == 0 || mountId == other.mountId);
        }
    };

    // The volume a folder lies on.
    struct Volume {
        Placement placement;
        std::string mountPoint;
        bool honoursOwnership = true; // false on file systems without Unix owners (FAT, NTFS...)
        bool local = true;            // false on network file systems
    };

    // The folder that holds an item, and the item's name in it.
    struct Parent;

    OpenFolder() = default;
    explicit OpenFolder(UniqueFd fd)
        : fd_(std::move(fd)) {}

    int descriptor() const { return fd_.get(); }

    // The folder at an absolute path, refusing a link anywhere in it (openat2 with
    // RESOLVE_NO_SYMLINKS). ENOENT, ENOTDIR: folderGone; ELOOP: pathChanged; else "open".
    static OpenFolder open(const std::string& path);

    // Checks that `path` is absolute and clean (no "." or ".." piece, no zero byte, not "/"
    // alone: badPath) and opens the folder that holds the item.
    static Parent openParent(const std::string& path);

    // The folder `name` inside this one, not following a link. Absent when there is nothing of
    // that name; a link or a file there is unsafeTrash; any other error "open " + name.
    std::optional<OpenFolder> openChild(const std::string& name) const;

    // Status of `name` here, not following a link; system "lstat" when it cannot be read.
    struct stat status(const std::string& name) const;
    // Whether the status of `name` can be read (something has that name).
    bool holds(const std::string& name) const;
    // Status of the folder itself; absent when fstat fails.
    std::optional<struct stat> status() const;

    // The folder's path from /proc/self/fd; the root gives "" so that appending "/" + name
    // gives an absolute path. System "F_GETPATH" when the folder has no path (removed).
    std::string path() const;

    // The folder's volume, from its mount id and /proc/self/mountinfo; system "statfs".
    Volume volume() const;
    // The folder's device and mount; absent when statx fails.
    std::optional<Placement> placement() const;

    // True when the folder holds nothing but "." and ".."; false when it holds anything else
    // or cannot be read.
    bool isEmpty() const;

    // realpath of `path`, or `path` itself when that fails.
    static std::string realPath(const std::string& path);

private:
    UniqueFd fd_;
};

struct OpenFolder::Parent {
    OpenFolder folder;
    std::string name;
    std::string folderPath; // the folder's path as given ("/" for an item at the root)
};

} // namespace hollowmere
