#include "trashed_items.h"

#include <limits>

namespace hollowmere {

TrashedItems::Key TrashedItems::add(Item item) {
    const Key key{nextKey_++};
    items_.emplace(key, std::move(item));
    return key;
}

void TrashedItems::remove(Key key) {
    items_.erase(key);
}

void TrashedItems::removeAll() {
    items_.clear();
}

void TrashedItems::forget(std::string_view folder) {
    while (folder.size() > 1 && folder.back() == '/')
        folder.remove_suffix(1);
    const std::string prefix = folder == "/" ? std::string("/") : std::string(folder) + "/";
    std::erase_if(items_, [&](const auto& entry) {
        const std::optional<std::string>& place = entry.second.place;
        return place && (*place == folder || place->starts_with(prefix));
    });
}

void TrashedItems::forgetGone() {
    std::erase_if(items_, [](const auto& entry) {
        const Item& item = entry.second;
        if (!item.place || !item.identity) return false;
        const IdentityMatch match = item.identity->check(*item.place);
        return match == IdentityMatch::gone || match == IdentityMatch::different;
    });
}

uint64_t TrashedItems::bytes() const {
    uint64_t total = 0;
    for (const auto& [key, item] : items_) {
        if (__builtin_add_overflow(total, item.bytes, &total))
            return std::numeric_limits<uint64_t>::max();
    }
    return total;
}

} // namespace hollowmere
