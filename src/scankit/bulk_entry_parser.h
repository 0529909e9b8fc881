#pragma once

#include "listed_entry.h"

#include <cstdint>
#include <optional>
#include <span>

namespace hollowmere {

// Parses the entries of a bulk-attribute directory listing (the packed little-endian records
// of getattrlistbulk) from plain byte buffers. Every read is bounds-checked against the entry,
// so corrupt input ends the parse instead of reading past the buffer.
namespace BulkEntryParser {

// The attribute bits the listing asks for.
inline constexpr uint32_t nameBit = 0x1;
inline constexpr uint32_t objectTypeBit = 0x8;
inline constexpr uint32_t fileFlagsBit = 0x40000;
inline constexpr uint32_t fileIdBit = 0x2000000;
inline constexpr uint32_t errorBit = 0x20000000;
inline constexpr uint32_t returnedAttributesBit = 0x80000000;
inline constexpr uint32_t mountStatusBit = 0x4;   // directory attributes
inline constexpr uint32_t linkCountBit = 0x1;     // file attributes
inline constexpr uint32_t allocatedSizeBit = 0x4; // file attributes
inline constexpr uint32_t mountedHere = 0x1, automountTrigger = 0x2;

struct Result {
    std::optional<ListedEntry> entry; // absent: the entry has no name and is skipped
    uint32_t length = 0;              // bytes to the next entry
};

// Parses the entry at the start of `bytes`; absent when the entry is malformed.
std::optional<Result> parseEntry(std::span<const uint8_t> bytes);

// Appends the `count` entries packed at the start of `buffer` to `listing`. Returns false
// when an entry is malformed; the entries before it stay appended.
bool parse(std::span<const uint8_t> buffer, uint32_t count, Listing& listing, HardLinkSet& hardLinks);

} // namespace BulkEntryParser

} // namespace hollowmere
