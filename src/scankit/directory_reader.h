#pragma once

#include "listed_entry.h"

#include <cstddef>
#include <memory>
#include <string>

namespace hollowmere {

class HardLinkSet;

// Lists one folder: opens it by path without following a link anywhere in the path, reads
// its entries with getdents64 into a 256 KiB buffer and asks statx for each entry's type,
// link count, mount status and allocated blocks, relative to the folder's descriptor. Never
// follows a link, never enters anything, never reads contents. One reader per worker thread.
class DirectoryReader {
public:
    static constexpr size_t bufferSize = 262144;

    DirectoryReader();
    DirectoryReader(const DirectoryReader&) = delete;
    DirectoryReader& operator=(const DirectoryReader&) = delete;

    // Lists the folder at an absolute path into `listing` (cleared first). Returns 0 on
    // success, else the error number; a listing is all or nothing, so on failure `listing`
    // is left empty.
    int read(const std::string& path, Listing& listing, HardLinkSet& hardLinks);

    // Opens a folder read-only, refusing a symbolic link in any component of the path.
    // Returns the descriptor, or -1 with errno set.
    static int openFolder(const char* path);

private:
    std::unique_ptr<std::byte[]> buffer_;
};

} // namespace hollowmere
