#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

namespace hollowmere {

// The scan-wide set of hard-linked files already counted, keyed by device and inode (btrfs
// subvolumes reuse inode numbers, so the inode alone is not enough). An open-addressing table
// that grows geometrically: no allocation per inserted file. Thread-safe; each insertion holds
// the lock alone.
class HardLinkSet {
public:
    // Returns true when the file was not in the set yet.
    bool insert(uint64_t device, uint64_t inode);
    void clear();
    size_t size() const;

private:
    struct Slot {
        uint64_t device;
        uint64_t inode;
        bool used;
    };
    void grow();
    static size_t hash(uint64_t device, uint64_t inode);

    mutable std::mutex mutex_;
    std::vector<Slot> slots_;
    size_t count_ = 0;
};

} // namespace hollowmere
