#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <unordered_map>

namespace hollowmere {

// The kinds of space-hungry items the "Largest Files" list can be narrowed to. The order of
// the cases is the order in which the categories are listed.
enum class ItemCategory : uint8_t { video, archive, diskImage, installer, app };

inline constexpr std::array<ItemCategory, 5> allItemCategories = {
    ItemCategory::video, ItemCategory::archive, ItemCategory::diskImage, ItemCategory::installer,
    ItemCategory::app,
};

// The case's own name ("video", "diskImage", ...), as stored and exchanged.
std::string_view rawValue(ItemCategory category);
// The category whose raw value is `raw`, or none for any other text.
std::optional<ItemCategory> itemCategory(std::string_view raw);
// What the item list shows for the category ("Videos", "Disk Images", ...).
std::string_view title(ItemCategory category);
// What the item list shows when no category is chosen.
inline constexpr std::string_view allKindsTitle = "All Kinds";

// The category of an item by its name bytes, as stored in the tree, and whether it is a
// package. Pure and allocation-free for extensions of up to 8 bytes; safe from any thread.
std::optional<ItemCategory> classifyItem(std::string_view nameBytes, bool isPackage);

// The lookup tables behind classifyItem, built once per process on first use.
namespace ItemCategoryMaps {

// Extensions of up to 8 bytes, keyed by their bytes packed little-endian (first byte in bits
// 0-7). "mp4" has the key 0x34706d.
const std::unordered_map<uint64_t, ItemCategory>& shortMap();
// The longer extensions, lower case.
const std::unordered_map<std::string_view, ItemCategory>& longMap();

// The short-map key of an extension of at most 8 bytes, with "A".."Z" folded to lower case.
constexpr uint64_t key(std::string_view extension) {
    uint64_t k = 0;
    for (size_t i = 0; i < extension.size() && i < 8; ++i) {
        auto byte = static_cast<uint8_t>(extension[i]);
        if (byte >= 'A' && byte <= 'Z') byte |= 0x20;
        k |= static_cast<uint64_t>(byte) << (8 * i);
    }
    return k;
}

} // namespace ItemCategoryMaps

} // namespace hollowmere
