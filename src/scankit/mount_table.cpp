#include "mount_table.h"

#include "unique_fd.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>

namespace hollowmere {

namespace {

// Decodes the kernel's escapes: a backslash and three octal digits stand for one byte
// (space, tab, newline and backslash are written this way). Anything else stays as it is.
std::string unescape(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const auto isOctal = [](char c) { return c >= '0' && c <= '7'; };
            if (isOctal(field[i + 1]) && isOctal(field[i + 2]) && isOctal(field[i + 3])) {
                const int value = (field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0');
                if (value <= 0xFF) {
                    out.push_back(static_cast<char>(value));
                    i += 3;
                    continue;
                }
            }
        }
        out.push_back(field[i]);
    }
    return out;
}

template <typename Int>
bool parseNumber(std::string_view text, Int& value) {
    if (text.empty()) return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

// Splits at single spaces, keeping empty fields (an empty source shows as two spaces).
std::vector<std::string_view> splitFields(std::string_view line) {
    std::vector<std::string_view> fields;
    size_t start = 0;
    while (true) {
        const size_t space = line.find(' ', start);
        fields.push_back(line.substr(start, space == std::string_view::npos ? std::string_view::npos : space - start));
        if (space == std::string_view::npos) break;
        start = space + 1;
    }
    return fields;
}

std::optional<MountEntry> parseLine(std::string_view line) {
    const std::vector<std::string_view> fields = splitFields(line);
    // id parent major:minor root mountpoint options [optional fields...] - type source superoptions
    if (fields.size() < 10) return std::nullopt;
    const auto separator = std::find(fields.begin() + 6, fields.end(), std::string_view("-"));
    if (separator == fields.end() || fields.end() - separator != 4) return std::nullopt;

    MountEntry entry;
    const std::string_view device = fields[2];
    const size_t colon = device.find(':');
    if (colon == std::string_view::npos) return std::nullopt;
    if (!parseNumber(fields[0], entry.mountId) || !parseNumber(fields[1], entry.parentId) ||
        !parseNumber(device.substr(0, colon), entry.major) || !parseNumber(device.substr(colon + 1), entry.minor)) {
        return std::nullopt;
    }
    entry.root = unescape(fields[3]);
    entry.mountPoint = unescape(fields[4]);
    entry.options = unescape(fields[5]);
    entry.fsType = unescape(separator[1]);
    entry.source = unescape(separator[2]);
    entry.superOptions = unescape(separator[3]);
    return entry;
}

bool listHas(std::string_view list, std::string_view option) {
    size_t start = 0;
    while (start <= list.size()) {
        const size_t comma = list.find(',', start);
        const std::string_view item = list.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
        if (item == option) return true;
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    return false;
}

std::string_view withoutTrailingSlashes(std::string_view path) {
    while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
    return path;
}

bool oneOf(std::string_view type, std::initializer_list<std::string_view> types) {
    return std::find(types.begin(), types.end(), type) != types.end();
}

} // namespace

bool MountEntry::hasOption(std::string_view option) const {
    return listHas(options, option) || listHas(superOptions, option);
}

MountTable MountTable::parse(std::string_view text) {
    std::vector<MountEntry> entries;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        if (auto entry = parseLine(text.substr(start, end - start))) entries.push_back(std::move(*entry));
        start = end + 1;
    }
    return MountTable(std::move(entries));
}

std::optional<MountTable> MountTable::read(const char* path) {
    UniqueFd fd(::open(path, O_RDONLY | O_CLOEXEC));
    if (!fd) return std::nullopt;
    // A proc file reports no size: read until the end.
    std::string text;
    std::array<char, 16384> buffer;
    while (true) {
        const ssize_t got = ::read(fd.get(), buffer.data(), buffer.size());
        if (got < 0) {
            if (errno == EINTR) continue;
            return std::nullopt;
        }
        if (got == 0) break;
        text.append(buffer.data(), static_cast<size_t>(got));
    }
    return parse(text);
}

bool MountTable::isCovered(const MountEntry& entry) const {
    return std::any_of(entries_.begin(), entries_.end(), [&](const MountEntry& other) {
        return other.parentId == entry.mountId && other.mountId != entry.mountId && other.mountPoint == entry.mountPoint;
    });
}

const MountEntry* MountTable::atMountPoint(std::string_view mountPoint) const {
    const std::string_view wanted = withoutTrailingSlashes(mountPoint);
    for (const MountEntry& entry : entries_) {
        if (entry.mountPoint == wanted && !isCovered(entry)) return &entry;
    }
    return nullptr;
}

const MountEntry* MountTable::ofDevice(uint32_t major, uint32_t minor) const {
    const MountEntry* found = nullptr;
    for (const MountEntry& entry : entries_) {
        if (entry.major != major || entry.minor != minor) continue;
        if (!isCovered(entry)) return &entry;
        if (!found) found = &entry;
    }
    return found;
}

bool isNetworkFileSystem(std::string_view type) {
    return oneOf(type, {"nfs", "nfs4", "cifs", "smb3", "smbfs", "ncpfs", "ceph", "9p", "afs", "coda", "lustre",
                        "gpfs", "beegfs", "glusterfs", "orangefs", "davfs", "fuse.sshfs", "fuse.glusterfs",
                        "fuse.ceph-fuse", "fuse.rclone", "fuse.s3fs", "fuse.davfs", "fuse.curlftpfs",
                        "fuse.smbnetfs", "fuse.gcsfuse", "fuse.juicefs"});
}

bool ignoresOwnership(std::string_view type) {
    return oneOf(type, {"vfat", "msdos", "umsdos", "fat", "exfat", "ntfs", "ntfs3", "fuseblk", "fuse.exfat",
                        "fuse.ntfs-3g", "fuse.ntfs", "hfs"});
}

} // namespace hollowmere
