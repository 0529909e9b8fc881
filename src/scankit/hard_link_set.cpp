#include "hard_link_set.h"

namespace hollowmere {

size_t HardLinkSet::hash(uint64_t device, uint64_t inode) {
    // A 64-bit mix (splitmix64's finaliser) over both keys.
    uint64_t x = inode ^ (device * 0x9e3779b97f4a7c15ull);
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ull;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebull;
    return static_cast<size_t>(x ^ (x >> 31));
}

bool HardLinkSet::insert(uint64_t device, uint64_t inode) {
    std::lock_guard lock(mutex_);
    if ((count_ + 1) * 4 > slots_.size() * 3) grow();
    const size_t mask = slots_.size() - 1;
    for (size_t i = hash(device, inode) & mask;; i = (i + 1) & mask) {
        Slot& slot = slots_[i];
        if (!slot.used) {
            slot = Slot{device, inode, true};
            ++count_;
            return true;
        }
        if (slot.device == device && slot.inode == inode) return false;
    }
}

void HardLinkSet::grow() {
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(old.empty() ? 1024 : old.size() * 2, Slot{0, 0, false});
    const size_t mask = slots_.size() - 1;
    for (const Slot& s : old) {
        if (!s.used) continue;
        size_t i = hash(s.device, s.inode) & mask;
        while (slots_[i].used) i = (i + 1) & mask;
        slots_[i] = s;
    }
}

void HardLinkSet::clear() {
    std::lock_guard lock(mutex_);
    slots_ = {};
    count_ = 0;
}

size_t HardLinkSet::size() const {
    std::lock_guard lock(mutex_);
    return count_;
}

} // namespace hollowmere
