#include "open_folder.h"

#include "directory_reader.h"
#include "mount_table.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>

namespace hollowmere {

namespace {

using Failure = TrashMover::Failure;

constexpr int childFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

} // namespace

OpenFolder OpenFolder::open(const std::string& path) {
    UniqueFd fd(DirectoryReader::openFolder(path.c_str()));
    if (!fd) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR) throw Failure(Failure::Kind::folderGone);
        if (error == ELOOP) throw Failure(Failure::Kind::pathChanged);
        throw Failure::system("open", error);
    }
    return OpenFolder(std::move(fd));
}

OpenFolder::Parent OpenFolder::openParent(const std::string& path) {
    if (path.empty() || path.front() != '/' || path.find('\0') != std::string::npos) {
        throw Failure(Failure::Kind::badPath);
    }
    std::string folderPath;
    std::string name;
    size_t start = 0;
    while (start < path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        if (end > start) {
            const std::string_view piece(path.data() + start, end - start);
            if (piece == "." || piece == "..") throw Failure(Failure::Kind::badPath);
            if (!name.empty()) folderPath += "/" + name;
            name = piece;
        }
        start = end + 1;
    }
    if (name.empty()) throw Failure(Failure::Kind::badPath);
    if (folderPath.empty()) folderPath = "/";
    return Parent{open(folderPath), std::move(name), std::move(folderPath)};
}

std::optional<OpenFolder> OpenFolder::openChild(const std::string& name) const {
    UniqueFd fd(::openat(fd_.get(), name.c_str(), childFlags));
    if (fd) return OpenFolder(std::move(fd));
    const int error = errno;
    if (error == ENOENT) return std::nullopt;
    if (error == ENOTDIR || error == ELOOP) throw Failure(Failure::Kind::unsafeTrash);
    throw Failure::system("open " + name, error);
}

struct stat OpenFolder::status(const std::string& name) const {
    struct stat st {};
    if (::fstatat(fd_.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        throw Failure::system("lstat", errno);
    return st;
}

bool OpenFolder::holds(const std::string& name) const {
    struct stat st {};
    return ::fstatat(fd_.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

std::optional<struct stat> OpenFolder::status() const {
    struct stat st {};
    if (::fstat(fd_.get(), &st) != 0) return std::nullopt;
    return st;
}

std::string OpenFolder::path() const {
    // A removed folder still has a descriptor path, marked " (deleted)": it has no path.
    const std::optional<struct stat> own = status();
    if (!own) throw Failure::system("F_GETPATH", errno);
    if (own->st_nlink == 0) throw Failure::system("F_GETPATH", ENOENT);

    const std::string link = "/proc/self/fd/" + std::to_string(fd_.get());
    std::array<char, PATH_MAX + 1> buffer{};
    const ssize_t length = ::readlink(link.c_str(), buffer.data(), buffer.size());
    if (length < 0) throw Failure::system("F_GETPATH", errno);
    if (static_cast<size_t>(length) >= buffer.size())
        throw Failure::system("F_GETPATH", ENAMETOOLONG);
    std::string path(buffer.data(), static_cast<size_t>(length));
    // Outside this process's root the kernel gives no absolute path.
    if (path.empty() || path.front() != '/') throw Failure::system("F_GETPATH", ENOENT);
    return path == "/" ? std::string() : path;
}

std::optional<OpenFolder::Placement> OpenFolder::placement() const {
    struct statx st {};
    if (::statx(fd_.get(), "", AT_EMPTY_PATH | AT_STATX_DONT_SYNC, STATX_TYPE | STATX_MNT_ID,
                &st) != 0) {
        return std::nullopt;
    }
    Placement place;
    place.device = makedev(st.stx_dev_major, st.stx_dev_minor);
    place.mountId = (st.stx_mask & STATX_MNT_ID) ? st.stx_mnt_id : 0;
    return place;
}

OpenFolder::Volume OpenFolder::volume() const {
    const std::optional<Placement> place = placement();
    if (!place) throw Failure::system("statfs", errno);
    errno = 0;
    const std::optional<MountTable> table = MountTable::read();
    if (!table) throw Failure::system("statfs", errno != 0 ? errno : EIO);

    const MountEntry* mount = nullptr;
    if (place->mountId != 0) {
        for (const MountEntry& entry : table->entries()) {
            if (static_cast<uint64_t>(entry.mountId) == place->mountId) {
                mount = &entry;
                break;
            }
        }
    } else {
        mount = table->ofDevice(major(place->device), minor(place->device));
    }
    if (!mount) throw Failure::system("statfs", ENOENT);

    Volume volume;
    volume.placement = *place;
    volume.mountPoint = mount->mountPoint;
    volume.honoursOwnership = !ignoresOwnership(mount->fsType);
    volume.local = !isNetworkFileSystem(mount->fsType);
    return volume;
}

bool OpenFolder::isEmpty() const {
    // A fresh open of "." reads the folder without moving this descriptor's offset.
    UniqueFd fresh(::openat(fd_.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fresh) return false;
    const std::unique_ptr<DIR, DirCloser> dir(::fdopendir(fresh.get()));
    if (!dir) return false;
    fresh.release(); // now the stream's
    errno = 0;
    while (const struct dirent* entry = ::readdir(dir.get())) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") return false;
    }
    return errno == 0;
}

std::string OpenFolder::realPath(const std::string& path) {
    const std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr),
                                                           &std::free);
    return real ? std::string(real.get()) : path;
}

} // namespace hollowmere
