#include "trash.h"

#include "scan_age.h"

#include <unistd.h>

#include <cstdlib>
#include <exception>

namespace hollowmere::Trash {

namespace {

std::optional<std::string> absoluteFromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    if (!value || value[0] != '/') return std::nullopt;
    return std::string(value);
}

} // namespace

TrashMover::Account currentUser() {
    TrashMover::Account self =
        TrashMover::systemAccount(::geteuid()).value_or(TrashMover::Account("", "", ::getegid()));
    if (std::optional<std::string> home = absoluteFromEnvironment("HOME"))
        self.home = std::move(*home);
    self.dataHome = absoluteFromEnvironment("XDG_DATA_HOME");
    return self;
}

Moves move(const std::vector<Item>& items) {
    return move(items, currentUser());
}

Moves move(const std::vector<Item>& items, const TrashMover::Account& self) {
    const TrashMover mover = TrashMover::forOwnItems(self);
    Moves result;
    for (const Item& item : items) {
        const std::string& path = item.path;
        // A path listed twice keeps the outcome of its first move.
        if (result.moved.count(path) || result.failures.count(path) || result.changed.count(path))
            continue;
        if (ScanAge::createdAfter(path, item.scannedSince)) {
            result.changed.insert(path);
            continue;
        }
        try {
            const TrashMover::Moved moved =
                mover.moveToTrash(path, ScanAge::timespec(item.scannedSince));
            result.moved[path] = moved.landed;
            if (const std::optional<FileIdentity> identity = FileIdentity::fromPath(moved.landed)) {
                result.identities[path] = *identity;
            }
        } catch (const TrashMover::Failure& failure) {
            if (failure.kind() == TrashMover::Failure::Kind::changedSinceScan) {
                result.changed.insert(path);
            } else {
                result.failures[path] = failure.what();
            }
        } catch (const std::exception& error) {
            result.failures[path] = error.what();
        }
    }
    return result;
}

std::map<std::string, Refusal> putBack(const std::vector<PutBackItem>& items) {
    return putBack(items, currentUser());
}

std::map<std::string, Refusal> putBack(const std::vector<PutBackItem>& items,
                                       const TrashMover::Account& self) {
    const TrashMover mover = TrashMover::forOwnItems(self);
    std::map<std::string, Refusal> refusals;
    for (const PutBackItem& item : items) {
        if (item.identity) {
            const std::optional<FileIdentity> now = FileIdentity::fromPath(item.inTrash);
            if (now && *now != *item.identity) {
                refusals[item.original] = Refusal::replaced();
                continue;
            }
        }
        try {
            mover.putBack(item.inTrash, item.original, item.identity);
        } catch (const TrashMover::Failure& failure) {
            refusals[item.original] = failure.kind() == TrashMover::Failure::Kind::replaced
                                          ? Refusal::replaced()
                                          : Refusal::failed(failure.what());
        } catch (const std::exception& error) {
            refusals[item.original] = Refusal::failed(error.what());
        }
    }
    return refusals;
}

} // namespace hollowmere::Trash
