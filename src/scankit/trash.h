#pragma once

#include "file_identity.h"
#include "file_tree.h"
#include "trash_mover.h"

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace hollowmere {

// The app's own moves: the user's items into the user's own freedesktop.org Trash (so that the
// desktop's file manager can list and restore them) and back. Runs with the user's rights
// through the same descriptor-relative mover the privileged helper uses. Blocking: the app
// runs a batch on a worker thread. A failing item never stops a batch.
namespace Trash {

// One item to move: its absolute path and when the scan that listed it began.
struct Item {
    std::string path;
    Date scannedSince;
};

// What one move call did. Every input path ends in exactly one of moved, failures, changed.
struct Moves {
    std::map<std::string, std::optional<std::string>> moved; // original -> path in the Trash
    std::map<std::string, FileIdentity> identities;          // original -> the item in the Trash
    std::map<std::string, std::string> failures;             // original -> readable reason
    std::set<std::string> changed;                           // made after their scan began
};

// Why one item stayed in the Trash.
struct Refusal {
    enum class Kind {
        failed,           // the move back failed: `text` says why
        replaced,         // another item now has its place in the Trash
        changedSinceScan, // made after its scan began (for callers' sentences only)
    };
    Kind kind = Kind::failed;
    std::string text;

    static Refusal failed(std::string text) { return {Kind::failed, std::move(text)}; }
    static Refusal replaced() { return {Kind::replaced, {}}; }
    static Refusal changedSinceScan() { return {Kind::changedSinceScan, {}}; }

    // Equal cases, and for `failed` equal texts.
    friend bool operator==(const Refusal& a, const Refusal& b) {
        return a.kind == b.kind && (a.kind != Kind::failed || a.text == b.text);
    }
};

// One item to put back: where it lies in the Trash, where it came from, and what it was when
// it was moved (absent: whatever lies there goes back).
struct PutBackItem {
    std::string inTrash;
    std::string original;
    std::optional<FileIdentity> identity;
};

// The current user as the Trash sees it: name and group from the user database, the home from
// $HOME (else the database) and the data home from $XDG_DATA_HOME when it is an absolute path.
TrashMover::Account currentUser();

// Moves the items in list order. An item born after its scan began is not moved.
Moves move(const std::vector<Item>& items);
Moves move(const std::vector<Item>& items, const TrashMover::Account& self);

// Puts the items back in list order, never replacing anything; returns the refusals, keyed by
// original path. An item missing from the result went back.
std::map<std::string, Refusal> putBack(const std::vector<PutBackItem>& items);
std::map<std::string, Refusal> putBack(const std::vector<PutBackItem>& items,
                                       const TrashMover::Account& self);

} // namespace Trash

} // namespace hollowmere
