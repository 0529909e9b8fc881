#include "scankit/bulk_entry_parser.h"
#include "scankit/hard_link_set.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

using namespace hollowmere;
namespace B = hollowmere::BulkEntryParser;
using Kind = FileTree::Kind;
using Flags = FileTree::Flags;

namespace {

// Encodes one entry the way a bulk listing packs it: the length, five returned-attribute
// masks, then only the attributes present, with the name bytes after the fixed part.
struct EntrySpec {
    std::optional<std::string> name = "entry";
    std::optional<uint32_t> error = std::nullopt;
    std::optional<uint32_t> objectType = std::nullopt;
    std::optional<uint32_t> fileFlags = std::nullopt;
    std::optional<uint64_t> fileId = std::nullopt;
    std::optional<uint32_t> mountStatus = std::nullopt;
    std::optional<uint32_t> linkCount = std::nullopt;
    std::optional<int64_t> allocatedSize = std::nullopt;
};

template <typename T> void put(std::vector<uint8_t>& out, T value) {
    for (size_t i = 0; i < sizeof(T); ++i) out.push_back(static_cast<uint8_t>(static_cast<uint64_t>(value) >> (8 * i)));
}

std::vector<uint8_t> encode(const EntrySpec& e) {
    uint32_t common = B::returnedAttributesBit, directory = 0, file = 0;
    if (e.name) common |= B::nameBit;
    if (e.error) common |= B::errorBit;
    if (e.objectType) common |= B::objectTypeBit;
    if (e.fileFlags) common |= B::fileFlagsBit;
    if (e.fileId) common |= B::fileIdBit;
    if (e.mountStatus) directory |= B::mountStatusBit;
    if (e.linkCount) file |= B::linkCountBit;
    if (e.allocatedSize) file |= B::allocatedSizeBit;

    std::vector<uint8_t> out(4, 0);
    for (uint32_t mask : {common, 0u, directory, file, 0u}) put(out, mask);
    if (e.error) put(out, *e.error);
    const size_t nameRef = out.size();
    put<int32_t>(out, 0);
    put<uint32_t>(out, e.name ? static_cast<uint32_t>(e.name->size() + 1) : 0);
    if (e.objectType) put(out, *e.objectType);
    if (e.fileFlags) put(out, *e.fileFlags);
    if (e.fileId) put(out, *e.fileId);
    if (e.mountStatus) put(out, *e.mountStatus);
    if (e.linkCount) put(out, *e.linkCount);
    if (e.allocatedSize) put(out, *e.allocatedSize);
    const auto offset = static_cast<int32_t>(out.size() - nameRef);
    for (size_t i = 0; i < 4; ++i) out[nameRef + i] = static_cast<uint8_t>(static_cast<uint32_t>(offset) >> (8 * i));
    if (e.name) {
        out.insert(out.end(), e.name->begin(), e.name->end());
        out.push_back(0);
    }
    while (out.size() % 8) out.push_back(0);
    const auto length = static_cast<uint32_t>(out.size());
    for (size_t i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(length >> (8 * i));
    return out;
}

std::vector<uint8_t> concat(std::initializer_list<EntrySpec> entries) {
    std::vector<uint8_t> out;
    for (const EntrySpec& e : entries) {
        const auto bytes = encode(e);
        out.insert(out.end(), bytes.begin(), bytes.end());
    }
    return out;
}

std::string nameOf(const Listing& l, size_t i) {
    return {reinterpret_cast<const char*>(l.names.data()) + l.entries[i].nameStart,
            static_cast<size_t>(l.entries[i].nameLength)};
}

} // namespace

TEST(BulkEntryParser, ClassifiesEntries) {
    struct Case {
        const char* what;
        EntrySpec entry;
        Kind kind;
        Flags flags;
        uint64_t size;
    };
    const Case cases[] = {
        {"file", {.objectType = 1, .linkCount = 1, .allocatedSize = 8192}, Kind::file, Flags::none, 8192},
        {"folder", {.name = "Docs", .objectType = 2, .mountStatus = 0}, Kind::folder, Flags::none, 0},
        {"package", {.name = "Mail.app", .objectType = 2}, Kind::package, Flags::none, 0},
        {"mount point", {.objectType = 2, .mountStatus = 1}, Kind::folder, Flags::mountPoint, 0},
        {"automount trigger", {.objectType = 2, .mountStatus = 2}, Kind::folder, Flags::mountPoint, 0},
        {"dataless file", {.objectType = 1, .fileFlags = 0x40000000, .allocatedSize = 512}, Kind::file,
         Flags::dataless, 512},
        {"symlink", {.objectType = 5, .allocatedSize = 4096}, Kind::symlink, Flags::none, 4096},
        {"socket", {.objectType = 6, .allocatedSize = 0}, Kind::other, Flags::none, 0},
        {"no attributes", {}, Kind::other, Flags::none, 0},
        {"negative size", {.objectType = 1, .allocatedSize = -4096}, Kind::file, Flags::none, 0},
        {"per-entry error", {.error = 13, .objectType = 1, .allocatedSize = 9999}, Kind::other, Flags::none, 0},
        {"error code 0", {.error = 0, .objectType = 1, .allocatedSize = 100}, Kind::file, Flags::none, 100},
    };
    for (const Case& c : cases) {
        const auto bytes = encode(c.entry);
        Listing listing;
        HardLinkSet links;
        ASSERT_TRUE(B::parse(bytes, 1, listing, links)) << c.what;
        ASSERT_EQ(listing.entries.size(), 1u) << c.what;
        EXPECT_EQ(nameOf(listing, 0), *c.entry.name) << c.what;
        EXPECT_EQ(listing.entries[0].kind, c.kind) << c.what;
        EXPECT_EQ(listing.entries[0].flags, c.flags) << c.what;
        EXPECT_EQ(listing.entries[0].size, c.size) << c.what;
    }
}

TEST(BulkEntryParser, SkipsNamelessEntriesAndCountsHardLinksOnce) {
    const auto bytes = concat({
        {.name = "first", .objectType = 1, .fileId = 77, .linkCount = 2, .allocatedSize = 4096},
        {.name = std::nullopt, .objectType = 1, .allocatedSize = 4096},
        {.name = "second", .objectType = 1, .fileId = 77, .linkCount = 2, .allocatedSize = 4096},
        {.name = "", .objectType = 1, .allocatedSize = 1},
    });
    Listing listing;
    HardLinkSet links;
    ASSERT_TRUE(B::parse(bytes, 4, listing, links));
    ASSERT_EQ(listing.entries.size(), 3u);
    EXPECT_EQ(nameOf(listing, 0), "first");
    EXPECT_EQ(listing.entries[0].flags, Flags::otherNames);
    EXPECT_EQ(listing.entries[0].size, 4096u);
    EXPECT_EQ(nameOf(listing, 1), "second");
    EXPECT_EQ(listing.entries[1].flags, Flags::otherNames | Flags::hardLink);
    EXPECT_EQ(listing.entries[1].size, 0u);
    EXPECT_EQ(nameOf(listing, 2), "");
}

TEST(BulkEntryParser, KeepsTheFirst65535BytesOfALongName) {
    const std::string longName(70000, 'n');
    const auto bytes = encode({.name = longName, .objectType = 1, .allocatedSize = 1});
    Listing listing;
    HardLinkSet links;
    ASSERT_TRUE(B::parse(bytes, 1, listing, links));
    EXPECT_EQ(listing.entries[0].nameLength, 65535);
    EXPECT_EQ(listing.names.size(), 65535u);
}

TEST(BulkEntryParser, RejectsMalformedEntriesWithoutReadingPastThem) {
    const auto good = encode({.objectType = 1, .allocatedSize = 1});
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        uint32_t count;
    };
    std::vector<uint8_t> longer = good;
    longer[0] = static_cast<uint8_t>(good.size() + 8);
    std::vector<uint8_t> shortLength = good;
    shortLength[0] = 8;
    std::vector<uint8_t> nameOutside = good;
    nameOutside[24] = 0xF0; // name offset far past the entry
    std::vector<uint8_t> nameBefore = good;
    nameBefore[24] = 0xE0;
    nameBefore[25] = nameBefore[26] = nameBefore[27] = 0xFF; // negative offset
    const Case cases[] = {
        {"more entries than bytes", good, 2},
        {"length past the buffer", longer, 1},
        {"length shorter than the header", shortLength, 1},
        {"name past the entry", nameOutside, 1},
        {"name before the entry", nameBefore, 1},
        {"empty buffer", {}, 1},
        {"truncated attributes", std::vector<uint8_t>(good.begin(), good.begin() + 30), 1},
    };
    for (const Case& c : cases) {
        Listing listing;
        HardLinkSet links;
        EXPECT_FALSE(B::parse(c.bytes, c.count, listing, links)) << c.what;
        EXPECT_LE(listing.entries.size(), c.count - 1u) << c.what;
    }
}
