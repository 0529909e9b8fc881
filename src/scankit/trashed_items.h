#pragma once

#include "file_identity.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace hollowmere {

// A report's ledger of the items it moved to the Trash, so that the volume's breakdown can show
// the space that returns only when the Trash is emptied. Touches the disk only in forgetGone().
class TrashedItems {
public:
    // Handed out once per ledger, never reused (also after removeAll()).
    struct Key {
        std::ptrdiff_t value = 0;
        friend bool operator==(const Key&, const Key&) = default;
    };

    struct KeyHash {
        size_t operator()(const Key& key) const noexcept {
            return std::hash<std::ptrdiff_t>()(key.value);
        }
    };

    struct Item {
        uint64_t bytes = 0;                   // the item's size as the report counted it
        std::optional<std::string> place;     // its path in the Trash, when the move said
        std::optional<FileIdentity> identity; // what lay at `place` right after the move

        Item() = default;
        Item(uint64_t bytes, std::optional<std::string> place, std::optional<FileIdentity> identity)
            : bytes(bytes)
            , place(std::move(place))
            , identity(identity) {}

        friend bool operator==(const Item&, const Item&) = default;
    };

    Key add(Item item);
    void remove(Key key);
    void removeAll();
    // Drops the entries placed at `folder` or below it (a trailing "/" makes no difference).
    void forget(std::string_view folder);
    // Drops the entries whose item has positively left its place: nothing is there any more
    // (ENOENT, ENOTDIR) or another object has the name. Entries without a place or identity,
    // and places that cannot be examined, stay.
    void forgetGone();

    // The sum of the entries' sizes, stopping at 2^64 - 1.
    uint64_t bytes() const;
    std::ptrdiff_t count() const { return static_cast<std::ptrdiff_t>(items_.size()); }
    const std::unordered_map<Key, Item, KeyHash>& items() const { return items_; }
    std::ptrdiff_t nextKey() const { return nextKey_; }

private:
    std::unordered_map<Key, Item, KeyHash> items_;
    std::ptrdiff_t nextKey_ = 0;
};

} // namespace hollowmere
