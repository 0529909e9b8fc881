#pragma once

#include "file_identity.h"

#include <cstdint>
#include <ctime>
#include <exception>
#include <functional>
#include <optional>
#include <string>

namespace hollowmere {

// Moves any user's item into the right freedesktop.org Trash and puts it back, for the
// privileged helper (and, with `forOwnItems`, for the app's own moves). It works on paths that
// others may change at the same moment, so every step after opening the item's folder is
// relative to open folder descriptors: no symbolic link is followed anywhere, Trash folders are
// trusted only when they are real folders of the right owner, and the move itself is one
// rename that never replaces anything.
//
// Trash layout: the home trash <data home>/Trash (data home: <home>/.local/share unless the
// account names one), or on another volume <top>/.Trash/<uid> when <top>/.Trash is a sticky
// folder and not a link, else <top>/.Trash-<uid>; each holds files/ and info/. Every folder made
// there belongs to the Trash's owner with mode 0700.
class TrashMover {
public:
    // A user database record, as far as the mover needs it.
    struct Account {
        std::string name;   // login name
        std::string home;   // home folder as the user database gives it
        uint32_t group = 0; // primary group id
        // The folder that holds the home trash ($XDG_DATA_HOME), when the user chose one;
        // absent: <home>/.local/share, made when missing.
        std::optional<std::string> dataHome;

        Account() = default;
        Account(std::string name, std::string home, uint32_t group)
            : name(std::move(name))
            , home(std::move(home))
            , group(group) {}
    };

    // The two points at which `step` is called.
    struct Step {
        enum class Kind {
            madeFolder, // after making a Trash folder of that name succeeded or found it there
            checked,    // the name in the Trash is chosen; the rename comes next (item's name)
        };
        Kind kind = Kind::madeFolder;
        std::string name;

        friend bool operator==(const Step&, const Step&) = default;
    };

    // The mover's only error. what() is a readable sentence; the helper sends its own words.
    // The operations `system` names (kept as the words the helper protocol carries): "open" (a
    // folder by path), "open " + name (a Trash folder), "lstat" (the item), "statfs" (its
    // volume), "F_GETPATH" (a folder's path), "mkdir " + name (making a Trash folder, or
    // giving it its owner and mode), "trashinfo" (the record), "rename", and
    // "no account for uid " + id with ENOENT.
    class Failure : public std::exception {
    public:
        enum class Kind {
            system,           // a system call failed: message() names it, code() is errno
            badPath,          // not an absolute, clean path
            vital,            // a folder the system needs
            notInTrash,       // put back: not directly in its owner's Trash
            replaced,         // put back: not the item that was moved there
            taken,            // put back: something now has the original name
            folderGone,       // a folder of the path is missing or not a folder
            pathChanged,      // a symbolic link stands where a folder of the path was
            unsafeTrash,      // the Trash folder is not a plain folder of the right owner
            changedSinceScan, // made after the scan that listed it began
        };

        explicit Failure(Kind kind);
        static Failure system(std::string message, int32_t code);

        Kind kind() const { return kind_; }
        const std::string& message() const { return message_; }
        int32_t code() const { return code_; }
        const char* what() const noexcept override { return description_.c_str(); }

        // Equal cases, and for `system` equal message and code.
        friend bool operator==(const Failure& a, const Failure& b) {
            return a.kind_ == b.kind_ &&
                   (a.kind_ != Kind::system || (a.message_ == b.message_ && a.code_ == b.code_));
        }

    private:
        Failure(Kind kind, std::string message, int32_t code);

        Kind kind_;
        std::string message_;
        int32_t code_ = 0;
        std::string description_;
    };

    // owner(): whose Trash an item would go to.
    struct Owner {
        uint32_t uid = 0;
        std::optional<std::string> name; // absent when the user database has no such user
        bool systemItem = false;         // the item belongs to a system account
    };

    // moveToTrash(): where the item went.
    struct Moved {
        std::string landed; // the item's path in the Trash (inside its files/ folder)
        uint32_t uid = 0;   // the Trash's owner
        FileIdentity identity;
    };

    uint32_t caller = 0; // the user on whose behalf the mover works
    std::function<std::optional<Account>(uint32_t uid)> account;
    std::function<void(const Step&)> step;
    // True for the app's own moves: every item goes to the caller's own Trash and folders are
    // made without giving them to anyone. False: TrashRoute::recipient decides (the helper).
    bool ownItems = false;

    // The helper's mover: the user database and a step that does nothing.
    explicit TrashMover(uint32_t caller);
    // The app's: the current effective user, whose only account is `self`.
    static TrashMover forOwnItems(Account self);

    // The user database lookup (getpwuid_r); absent when there is no such user.
    static std::optional<Account> systemAccount(uint32_t uid);

    // Whose Trash the item at `path` would go to. Changes nothing.
    Owner owner(const std::string& path) const;

    // Moves the item into its owner's Trash under a free name and writes its .trashinfo.
    // Refuses an item born after `scannedSince` on a local volume. On any failure the item has
    // not moved (Trash folders made on the way stay).
    Moved moveToTrash(const std::string& path, std::optional<struct ::timespec> scannedSince) const;

    // Moves an item that lies directly in its owner's Trash (files/) back to `original`, when
    // it still is `identity` and nothing has that name, then removes its .trashinfo. The
    // helper always passes an identity; without one, whatever is at the place goes back.
    void putBack(const std::string& inTrash, const std::string& original,
                 std::optional<FileIdentity> identity) const;
};

} // namespace hollowmere
