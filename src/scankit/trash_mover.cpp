#include "trash_mover.h"

#include "open_folder.h"
#include "trash_info.h"
#include "trash_route.h"
#include "vital_folders.h"

#include <fcntl.h>
#include <pwd.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <vector>

namespace hollowmere {

namespace {

using Failure = TrashMover::Failure;
using Kind = Failure::Kind;

constexpr mode_t trashFolderMode = 0700;
constexpr mode_t trashInfoMode = 0600;
constexpr int homeSearchLevels = 4096;
// Other movers may reserve the same free name at the same moment; each loser picks again.
constexpr int reserveAttempts = 16;

std::string errorText(int code) {
    const char* text = ::strerrordesc_np(code);
    return text ? text : "Unknown error " + std::to_string(code);
}

std::string describe(Kind kind, const std::string& message, int32_t code) {
    switch (kind) {
    case Kind::system:
        return errorText(code) + " (" + message + ").";
    case Kind::badPath:
        return "The path is not an absolute, clean path.";
    case Kind::vital:
        return "The system needs this folder: it stays out of the cleanup.";
    case Kind::notInTrash:
        return "The item is not directly in its owner's Trash.";
    case Kind::replaced:
        return "The item in the Trash is not the one that was moved there.";
    case Kind::taken:
        return "Something else now has the item's original name.";
    case Kind::folderGone:
        return "A folder of the item's path is gone.";
    case Kind::pathChanged:
        return "A link stands where a folder of the item's path was.";
    case Kind::unsafeTrash:
        return "The Trash is not a plain folder of the right owner.";
    case Kind::changedSinceScan:
        return "The item was made after the scan began.";
    }
    return {};
}

FileIdentity identityOf(const struct stat& status) {
    return FileIdentity(static_cast<int32_t>(static_cast<uint32_t>(status.st_dev)),
                        static_cast<uint64_t>(status.st_ino));
}

bool sameObject(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The user whose home folder holds `folder`: walks up through ".." until a folder is the real
// home of its (ordinary) owner, or the root is reached.
std::optional<uint32_t> homeOwner(const TrashMover& mover, const OpenFolder& folder) {
    const OpenFolder* current = &folder;
    OpenFolder above;
    for (int level = 0; level < homeSearchLevels; ++level) {
        const std::optional<struct stat> here = current->status();
        if (!here) return std::nullopt;
        const uint32_t uid = here->st_uid;
        if (uid >= TrashRoute::firstPersonUID && mover.account) {
            if (const std::optional<TrashMover::Account> account = mover.account(uid)) {
                struct stat home {};
                const std::string homePath = OpenFolder::realPath(account->home);
                if (::lstat(homePath.c_str(), &home) == 0 && sameObject(home, *here)) return uid;
            }
        }
        UniqueFd up(
            ::openat(current->descriptor(), "..", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!up) return std::nullopt;
        OpenFolder next(std::move(up));
        const std::optional<struct stat> there = next.status();
        if (!there || sameObject(*there, *here)) return std::nullopt;
        above = std::move(next);
        current = &above;
    }
    return std::nullopt;
}

uint32_t trashOwner(const TrashMover& mover, uint32_t itemOwner, const OpenFolder& folder) {
    if (mover.ownItems) return mover.caller;
    if (itemOwner < TrashRoute::firstPersonUID) return mover.caller; // no need to look for a home
    return TrashRoute::recipient(itemOwner, homeOwner(mover, folder), mover.caller);
}

// Who a Trash belongs to and where it must lie.
struct TrashUser {
    uint32_t uid = 0;
    uint32_t group = 0;
    const OpenFolder::Volume& volume;
};

void checkOwner(const OpenFolder& folder, const TrashUser& user) {
    if (!user.volume.honoursOwnership) return;
    const std::optional<struct stat> status = folder.status();
    if (!status || status->st_uid != user.uid) throw Failure(Kind::unsafeTrash);
}

// mkdirat, then checks that what now has the name is the folder just made (empty, born just
// now) before giving it to the Trash's owner.
OpenFolder makeFolder(const TrashMover& mover, const OpenFolder& parent, const std::string& name,
                      const TrashUser& user) {
    const std::time_t before = std::time(nullptr);
    const bool made = ::mkdirat(parent.descriptor(), name.c_str(), trashFolderMode) == 0;
    if (!made && errno != EEXIST) throw Failure::system("mkdir " + name, errno);
    if (mover.step) mover.step({TrashMover::Step::Kind::madeFolder, name});

    std::optional<OpenFolder> child = parent.openChild(name);
    if (!child) throw Failure(Kind::unsafeTrash);
    if (made) {
        struct statx status {};
        if (!child->isEmpty() || ::statx(child->descriptor(), "", AT_EMPTY_PATH,
                                         STATX_UID | STATX_GID | STATX_BTIME, &status) != 0) {
            throw Failure(Kind::unsafeTrash);
        }
        // Without a birth time, the emptiness and the owner checks still catch a swap.
        if ((status.stx_mask & STATX_BTIME) && status.stx_btime.tv_sec + 2 < before)
            throw Failure(Kind::unsafeTrash);
        if (status.stx_uid == ::geteuid()) {
            const bool give =
                !mover.ownItems && (status.stx_uid != user.uid || status.stx_gid != user.group);
            if (give && ::fchown(child->descriptor(), user.uid, user.group) != 0) {
                throw Failure::system("mkdir " + name, errno);
            }
            if (::fchmod(child->descriptor(), trashFolderMode) != 0)
                throw Failure::system("mkdir " + name, errno);
        }
    }
    return std::move(*child);
}

enum class Existing { trusted, mustBeOwned };

// The folder `name` in `parent`, made when missing and `create` is set. A folder that was made,
// and an existing one that is part of a Trash, must belong to the Trash's owner.
std::optional<OpenFolder> enter(const TrashMover& mover, const OpenFolder& parent,
                                const std::string& name, const TrashUser& user, bool create,
                                Existing existing) {
    if (std::optional<OpenFolder> child = parent.openChild(name)) {
        if (existing == Existing::mustBeOwned) checkOwner(*child, user);
        return child;
    }
    if (!create) return std::nullopt;
    OpenFolder made = makeFolder(mover, parent, name, user);
    checkOwner(made, user);
    return made;
}

bool onVolume(const OpenFolder& folder, const OpenFolder::Volume& volume) {
    const std::optional<OpenFolder::Placement> place = folder.placement();
    return place && place->sameVolume(volume.placement);
}

// The home trash (<data home>/Trash) when it lies on the item's volume.
std::optional<OpenFolder> homeTrash(const TrashMover& mover, const TrashMover::Account& account,
                                    const TrashUser& user, bool create) {
    const bool chosen = account.dataHome.has_value();
    OpenFolder folder;
    try {
        folder = OpenFolder::open(OpenFolder::realPath(chosen ? *account.dataHome : account.home));
    } catch (const Failure&) {
        return std::nullopt;
    }
    if (!onVolume(folder, user.volume)) return std::nullopt;
    if (!chosen) {
        for (const char* name : {".local", "share"}) {
            std::optional<OpenFolder> next =
                enter(mover, folder, name, user, create, Existing::trusted);
            if (!next) return std::nullopt;
            folder = std::move(*next);
        }
    }
    std::optional<OpenFolder> trash =
        enter(mover, folder, "Trash", user, create, Existing::mustBeOwned);
    if (trash && !onVolume(*trash, user.volume)) return std::nullopt;
    return trash;
}

// <top>/.Trash when it is a sticky folder and not a link (checked again on the descriptor).
std::optional<OpenFolder> sharedTrash(const OpenFolder& top, const OpenFolder::Volume& volume) {
    struct stat status {};
    if (::fstatat(top.descriptor(), ".Trash", &status, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISDIR(status.st_mode) || !(status.st_mode & S_ISVTX)) {
        return std::nullopt;
    }
    UniqueFd fd(
        ::openat(top.descriptor(), ".Trash", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd) return std::nullopt;
    OpenFolder shared(std::move(fd));
    const std::optional<struct stat> opened = shared.status();
    if (!opened || !(opened->st_mode & S_ISVTX) || !onVolume(shared, volume)) return std::nullopt;
    return shared;
}

// A volume trash: <top>/.Trash/<uid> when <top>/.Trash is usable, else <top>/.Trash-<uid>.
struct VolumeTrash {
    OpenFolder trash;
    std::string top; // the volume's top folder, which the recorded paths are relative to
};

VolumeTrash volumeTrash(const TrashMover& mover, const TrashUser& user) {
    const std::string topPath = OpenFolder::realPath(user.volume.mountPoint);
    const OpenFolder top = OpenFolder::open(topPath);
    const std::string uid = std::to_string(user.uid);
    if (std::optional<OpenFolder> shared = sharedTrash(top, user.volume)) {
        try {
            std::optional<OpenFolder> own =
                enter(mover, *shared, uid, user, true, Existing::mustBeOwned);
            if (own && onVolume(*own, user.volume)) return {std::move(*own), topPath};
        } catch (const Failure& failure) {
            // A folder that cannot be made there sends the item to .Trash-<uid>; anything unsafe
            // stops.
            if (failure.kind() != Kind::system) throw;
        }
    }
    std::optional<OpenFolder> own =
        enter(mover, top, ".Trash-" + uid, user, true, Existing::mustBeOwned);
    if (!own || !onVolume(*own, user.volume)) throw Failure(Kind::unsafeTrash);
    return {std::move(*own), topPath};
}

// Every Trash folder of the user on the volume that exists and passes the checks.
std::vector<OpenFolder> existingTrashes(const TrashMover& mover, const TrashMover::Account& account,
                                        const TrashUser& user) {
    std::vector<OpenFolder> found;
    const auto attempt = [&found](auto&& find) {
        try {
            if (std::optional<OpenFolder> trash = find()) found.push_back(std::move(*trash));
        } catch (const Failure&) {
        }
    };
    attempt([&] { return homeTrash(mover, account, user, false); });
    try {
        const OpenFolder top = OpenFolder::open(OpenFolder::realPath(user.volume.mountPoint));
        const std::string uid = std::to_string(user.uid);
        attempt([&]() -> std::optional<OpenFolder> {
            std::optional<OpenFolder> shared = sharedTrash(top, user.volume);
            return shared ? enter(mover, *shared, uid, user, false, Existing::mustBeOwned)
                          : std::nullopt;
        });
        attempt(
            [&] { return enter(mover, top, ".Trash-" + uid, user, false, Existing::mustBeOwned); });
    } catch (const Failure&) {
    }
    return found;
}

// The record path: relative to the volume's top folder for a volume trash.
std::string recordedPath(const std::string& fullPath, const std::string& top) {
    if (top.empty()) return fullPath;
    const std::string prefix = top == "/" ? top : top + "/";
    return fullPath.compare(0, prefix.size(), prefix) == 0 ? fullPath.substr(prefix.size())
                                                           : fullPath;
}

bool bornAfter(const OpenFolder& folder, const std::string& name, const struct ::timespec& since) {
    struct statx status {};
    if (::statx(folder.descriptor(), name.c_str(), AT_SYMLINK_NOFOLLOW | AT_STATX_DONT_SYNC,
                STATX_BTIME, &status) != 0 ||
        !(status.stx_mask & STATX_BTIME)) {
        return false;
    }
    return status.stx_btime.tv_sec > since.tv_sec ||
           (status.stx_btime.tv_sec == since.tv_sec && status.stx_btime.tv_nsec > since.tv_nsec);
}

// The .trashinfo that reserves a name in the Trash: removed again unless the move succeeded.
class InfoRecord {
public:
    InfoRecord(const OpenFolder& info, std::string name)
        : info_(info)
        , name_(std::move(name)) {}
    InfoRecord(const InfoRecord&) = delete;
    InfoRecord& operator=(const InfoRecord&) = delete;
    ~InfoRecord() {
        if (!kept_) ::unlinkat(info_.descriptor(), name_.c_str(), 0);
    }
    void keep() { kept_ = true; }

private:
    const OpenFolder& info_;
    std::string name_;
    bool kept_ = false;
};

void writeAll(int fd, const std::string& text) {
    size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw Failure::system("trashinfo", n < 0 ? errno : EIO);
        written += static_cast<size_t>(n);
    }
}

// The same folder must still be at the path it was opened by; otherwise the record would send
// a restore somewhere else.
void checkStillAt(const OpenFolder::Parent& parent) {
    const OpenFolder again = OpenFolder::open(parent.folderPath);
    const std::optional<struct stat> now = again.status();
    const std::optional<struct stat> held = parent.folder.status();
    if (!now || !held || !sameObject(*now, *held)) throw Failure(Kind::pathChanged);
}

} // namespace

TrashMover::Failure::Failure(Kind kind)
    : Failure(kind, {}, 0) {}

TrashMover::Failure::Failure(Kind kind, std::string message, int32_t code)
    : kind_(kind)
    , message_(std::move(message))
    , code_(code)
    , description_(describe(kind_, message_, code_)) {}

TrashMover::Failure TrashMover::Failure::system(std::string message, int32_t code) {
    return Failure(Kind::system, std::move(message), code);
}

TrashMover::TrashMover(uint32_t caller)
    : caller(caller)
    , account(&TrashMover::systemAccount)
    , step([](const Step&) {}) {}

TrashMover TrashMover::forOwnItems(Account self) {
    TrashMover mover(::geteuid());
    mover.account = [uid = mover.caller,
                     self = std::move(self)](uint32_t asked) -> std::optional<Account> {
        if (asked != uid) return std::nullopt;
        return self;
    };
    mover.ownItems = true;
    return mover;
}

std::optional<TrashMover::Account> TrashMover::systemAccount(uint32_t uid) {
    const long suggested = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(suggested > 0 ? static_cast<size_t>(suggested) : 16384);
    struct passwd entry {};
    struct passwd* found = nullptr;
    int error = 0;
    while ((error = ::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found)) == ERANGE &&
           buffer.size() < (1u << 20)) {
        buffer.resize(buffer.size() * 2);
    }
    if (error != 0 || !found) return std::nullopt;
    return Account(found->pw_name, found->pw_dir, found->pw_gid);
}

TrashMover::Owner TrashMover::owner(const std::string& path) const {
    const OpenFolder::Parent parent = OpenFolder::openParent(path);
    const struct stat item = parent.folder.status(parent.name);
    Owner answer;
    answer.uid = trashOwner(*this, item.st_uid, parent.folder);
    if (account) {
        if (const std::optional<Account> found = account(answer.uid)) answer.name = found->name;
    }
    answer.systemItem = item.st_uid < TrashRoute::firstPersonUID;
    return answer;
}

TrashMover::Moved TrashMover::moveToTrash(const std::string& path,
                                          std::optional<struct ::timespec> scannedSince) const {
    const OpenFolder::Parent parent = OpenFolder::openParent(path);
    const OpenFolder& folder = parent.folder;
    const std::string& name = parent.name;
    const struct stat item = folder.status(name);
    const OpenFolder::Volume volume = folder.volume();
    const std::string fullPath = folder.path() + "/" + name;
    if (VitalFolders::refuses(fullPath, volume.mountPoint)) throw Failure(Kind::vital);
    if (scannedSince && volume.local && bornAfter(folder, name, *scannedSince))
        throw Failure(Kind::changedSinceScan);

    const uint32_t owner = trashOwner(*this, item.st_uid, folder);
    const std::optional<Account> ownerAccount = account ? account(owner) : std::nullopt;
    if (!ownerAccount) throw Failure::system("no account for uid " + std::to_string(owner), ENOENT);
    const TrashUser user{owner, ownerAccount->group, volume};

    OpenFolder trash;
    std::string top;
    if (std::optional<OpenFolder> home = homeTrash(*this, *ownerAccount, user, true)) {
        trash = std::move(*home);
    } else {
        VolumeTrash onVolume = volumeTrash(*this, user);
        trash = std::move(onVolume.trash);
        top = std::move(onVolume.top);
    }
    const std::optional<OpenFolder> files =
        enter(*this, trash, "files", user, true, Existing::mustBeOwned);
    const std::optional<OpenFolder> info =
        enter(*this, trash, "info", user, true, Existing::mustBeOwned);
    if (!files || !info) throw Failure(Kind::unsafeTrash);
    // Read before the move, so that nothing can fail once the item lies in the Trash.
    const std::string filesPath = files->path();

    // A free name is one that neither files/ nor info/ holds; the record is made exclusively,
    // which reserves the name against other movers.
    std::string target;
    UniqueFd record;
    for (int attempt = 1;; ++attempt) {
        target = TrashRoute::freeName(name, [&](const std::string& candidate) {
            return files->holds(candidate) ||
                   info->holds(candidate + std::string(TrashInfo::extension));
        });
        const std::string recordName = target + std::string(TrashInfo::extension);
        record.reset(::openat(info->descriptor(), recordName.c_str(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, trashInfoMode));
        if (record) break;
        if (errno != EEXIST || attempt == reserveAttempts)
            throw Failure::system("trashinfo", errno);
    }
    InfoRecord reservation(*info, target + std::string(TrashInfo::extension));
    if (::geteuid() != owner && ::fchown(record.get(), owner, ownerAccount->group) != 0) {
        throw Failure::system("trashinfo", errno);
    }
    writeAll(record.get(), TrashInfo::contents(recordedPath(fullPath, top), std::time(nullptr)));
    record.reset();

    if (step) step({Step::Kind::checked, name});
    checkStillAt(parent);
    if (::renameat2(folder.descriptor(), name.c_str(), files->descriptor(), target.c_str(),
                    RENAME_NOREPLACE) != 0) {
        throw Failure::system("rename", errno);
    }
    reservation.keep();
    return Moved{filesPath + "/" + target, owner, identityOf(item)};
}

void TrashMover::putBack(const std::string& inTrash, const std::string& original,
                         std::optional<FileIdentity> identity) const {
    const OpenFolder::Parent source = OpenFolder::openParent(inTrash);
    const struct stat item = source.folder.status(source.name);
    const OpenFolder::Parent target = OpenFolder::openParent(original);

    const uint32_t owner = trashOwner(*this, item.st_uid, target.folder);
    const std::optional<Account> ownerAccount = account ? account(owner) : std::nullopt;
    if (!ownerAccount) throw Failure(Kind::notInTrash);
    OpenFolder::Volume volume;
    try {
        volume = source.folder.volume();
    } catch (const Failure&) {
        throw Failure(Kind::notInTrash);
    }
    const TrashUser user{owner, ownerAccount->group, volume};

    // The item must lie directly in the files/ folder of one of its owner's Trash folders.
    const std::optional<struct stat> sourceFolder = source.folder.status();
    if (!sourceFolder) throw Failure(Kind::notInTrash);
    std::optional<OpenFolder> info;
    bool inOwnersTrash = false;
    for (const OpenFolder& trash : existingTrashes(*this, *ownerAccount, user)) {
        try {
            const std::optional<OpenFolder> files = trash.openChild("files");
            if (!files) continue;
            checkOwner(*files, user);
            const std::optional<struct stat> filesStatus = files->status();
            if (!filesStatus || !sameObject(*filesStatus, *sourceFolder)) continue;
            inOwnersTrash = true;
            info = trash.openChild("info");
        } catch (const Failure&) {
        }
        if (inOwnersTrash) break;
    }
    if (!inOwnersTrash) throw Failure(Kind::notInTrash);
    if (identity && identityOf(item) != *identity) throw Failure(Kind::replaced);

    const std::string targetPath = target.folder.path() + "/" + target.name;
    if (VitalFolders::refuses(targetPath, target.folder.volume().mountPoint))
        throw Failure(Kind::vital);
    if (target.folder.holds(target.name)) throw Failure(Kind::taken);
    if (::renameat2(source.folder.descriptor(), source.name.c_str(), target.folder.descriptor(),
                    target.name.c_str(), RENAME_NOREPLACE) != 0) {
        if (errno == EEXIST) throw Failure(Kind::taken);
        throw Failure::system("rename", errno);
    }
    // The item is back; a record that cannot be removed only leaves a stale line in the Trash.
    if (info)
        ::unlinkat(info->descriptor(), (source.name + std::string(TrashInfo::extension)).c_str(),
                   0);
}

} // namespace hollowmere
