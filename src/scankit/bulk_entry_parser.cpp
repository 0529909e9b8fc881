#include "bulk_entry_parser.h"

#include <cstring>

namespace hollowmere::BulkEntryParser {

namespace {

// Reads little-endian integers from one entry, refusing any read past its end.
class EntryReader {
public:
    explicit EntryReader(std::span<const uint8_t> entry) : entry_(entry) {}

    template <typename T> bool read(size_t offset, T& value) const {
        if (offset > entry_.size() || entry_.size() - offset < sizeof(T)) return false;
        std::make_unsigned_t<T> raw = 0;
        for (size_t i = 0; i < sizeof(T); ++i) raw |= static_cast<decltype(raw)>(entry_[offset + i]) << (8 * i);
        value = static_cast<T>(raw);
        return true;
    }

    std::span<const uint8_t> entry() const { return entry_; }

private:
    std::span<const uint8_t> entry_;
};

} // namespace

std::optional<Result> parseEntry(std::span<const uint8_t> bytes) {
    EntryReader whole(bytes);
    uint32_t length = 0;
    if (!whole.read(0, length) || length < 24 || length > bytes.size()) return std::nullopt;
    const EntryReader r(bytes.first(length));

    uint32_t common = 0, directory = 0, file = 0;
    r.read(4, common);
    r.read(12, directory);
    r.read(16, file);

    Result result;
    result.length = length;
    if (!(common & nameBit)) return result;

    ListedEntry entry;
    size_t nameRef = 24;
    size_t next = 32;
    if (common & errorBit) {
        if (!r.read(24, entry.error)) return std::nullopt;
        nameRef = 28;
        next = 36;
    }
    int32_t nameOffset = 0;
    uint32_t nameLength = 0;
    if (!r.read(nameRef, nameOffset) || !r.read(nameRef + 4, nameLength)) return std::nullopt;
    const int64_t nameStart = static_cast<int64_t>(nameRef) + nameOffset;
    const uint32_t nameBytes = nameLength == 0 ? 0 : nameLength - 1;
    if (nameStart < 0 || static_cast<uint64_t>(nameStart) + nameBytes > length) return std::nullopt;
    entry.name = {reinterpret_cast<const char*>(bytes.data()) + nameStart, nameBytes};
    if (entry.error != 0) {
        result.entry = entry;
        return result;
    }

    const auto take = [&](uint32_t mask, uint32_t bit, auto& value) {
        if (!(mask & bit)) return true;
        if (!r.read(next, value)) return false;
        next += sizeof(value);
        return true;
    };
    uint32_t mountStatus = 0;
    int64_t allocated = 0;
    if (!take(common, objectTypeBit, entry.objectType) || !take(common, fileFlagsBit, entry.fileFlags) ||
        !take(common, fileIdBit, entry.fileId) || !take(directory, mountStatusBit, mountStatus) ||
        !take(file, linkCountBit, entry.linkCount) || !take(file, allocatedSizeBit, allocated)) {
        return std::nullopt;
    }
    entry.onMount = (directory & mountStatusBit) && (mountStatus & (mountedHere | automountTrigger));
    entry.allocatedSize = allocated < 0 ? 0 : static_cast<uint64_t>(allocated);
    result.entry = entry;
    return result;
}

bool parse(std::span<const uint8_t> buffer, uint32_t count, Listing& listing, HardLinkSet& hardLinks) {
    size_t offset = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const auto parsed = parseEntry(buffer.subspan(std::min(offset, buffer.size())));
        if (!parsed) return false;
        if (parsed->entry) listing.append(*parsed->entry, hardLinks);
        offset += parsed->length;
    }
    return true;
}

} // namespace hollowmere::BulkEntryParser
