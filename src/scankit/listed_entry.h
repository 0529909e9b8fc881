#pragma once

#include "file_tree.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace hollowmere {

class HardLinkSet;

// What the file system reported for one entry of a folder listing, before it is classified.
// Object types use the bulk-attribute numbering (0 none, 1 regular file, 2 directory,
// 5 symbolic link); the Linux reader maps file modes onto it.
struct ListedEntry {
    enum ObjectType : uint32_t { none = 0, regular = 1, directory = 2, symlink = 5 };
    static constexpr uint32_t datalessFlag = 0x40000000;

    std::string_view name;
    uint32_t error = 0;          // a non-zero per-entry error: listed as `other`, size 0
    uint32_t objectType = none;
    uint32_t fileFlags = 0;
    uint64_t device = 0;         // with `fileId`, keys the hard-link set
    uint64_t fileId = 0;
    bool onMount = false;        // a directory on which a file system is mounted
    uint32_t linkCount = 1;
    uint64_t allocatedSize = 0;
};

// One listed item before it enters the tree.
struct Pending {
    ptrdiff_t nameStart;  // in the listing's own name buffer
    ptrdiff_t nameLength; // at most 65535
    FileTree::Kind kind;
    FileTree::Flags flags;
    uint64_t size;
};

// One folder's listing: pending entries and their names back to back. Cleared before each
// folder but keeps its capacity.
struct Listing {
    std::vector<Pending> entries;
    std::vector<uint8_t> names;

    void clear() {
        entries.clear();
        names.clear();
    }

    // Decides the entry's kind, flags and counted size, and appends it. Hard-linked files are
    // counted at the first name listed; later names get `hardLink` and size 0.
    void append(const ListedEntry& entry, HardLinkSet& hardLinks);
};

} // namespace hollowmere
