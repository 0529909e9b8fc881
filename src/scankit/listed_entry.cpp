#include "listed_entry.h"

#include "hard_link_set.h"
#include "package_rule.h"

#include <algorithm>

namespace hollowmere {

void Listing::append(const ListedEntry& entry, HardLinkSet& hardLinks) {
    using Kind = FileTree::Kind;
    using Flags = FileTree::Flags;

    const std::string_view name = entry.name.substr(0, std::min(entry.name.size(), FileTree::maxNameLength));
    Kind kind = Kind::other;
    Flags flags = Flags::none;
    uint64_t size = 0;

    if (entry.error == 0) {
        if (entry.onMount) flags |= Flags::mountPoint;
        if (entry.fileFlags & ListedEntry::datalessFlag) flags |= Flags::dataless;
        size = entry.allocatedSize;
        switch (entry.objectType) {
        case ListedEntry::regular:
            kind = Kind::file;
            if (entry.linkCount > 1) {
                flags |= Flags::otherNames;
                if (!hardLinks.insert(entry.device, entry.fileId)) {
                    flags |= Flags::hardLink;
                    size = 0;
                }
            }
            break;
        case ListedEntry::directory:
            kind = PackageRule::matches(name) ? Kind::package : Kind::folder;
            size = 0; // a container's size is what is found inside it
            break;
        case ListedEntry::symlink:
            kind = Kind::symlink;
            break;
        default:
            kind = Kind::other;
            break;
        }
    }

    const auto start = static_cast<ptrdiff_t>(names.size());
    names.insert(names.end(), name.begin(), name.end());
    entries.push_back(Pending{start, static_cast<ptrdiff_t>(name.size()), kind, flags, size});
}

} // namespace hollowmere
