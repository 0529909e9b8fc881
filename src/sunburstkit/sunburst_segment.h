#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <variant>

namespace hollowmere {

// One arc of the map. Angles are radians from twelve o'clock, clockwise.
struct SunburstSegment {
    // The two cases of Content carry no member initialisers: inside this class they would keep
    // the variant from being default-constructible.

    // The arc shows one node.
    struct Item {
        int32_t node;
        friend constexpr bool operator==(Item, Item) = default;
    };
    // The arc merges the tail of a folder's children that are too small to show one by one.
    struct SmallItems {
        int32_t parent;
        int32_t count;
        uint64_t size;
        friend constexpr bool operator==(const SmallItems&, const SmallItems&) = default;
    };
    using Content = std::variant<Item, SmallItems>;

    Content content;
    int depth = 1; // ring number, 1 innermost
    double start = 0;
    double end = 0;
    std::optional<int> slot; // colour slot
    bool isContainer = false;

    // The node of an item arc; absent for a small-items arc.
    std::optional<int32_t> item() const {
        if (const auto* i = std::get_if<Item>(&content)) return i->node;
        return std::nullopt;
    }

    friend bool operator==(const SunburstSegment&, const SunburstSegment&) = default;
};

} // namespace hollowmere

// With these, std::hash<SunburstSegment::Content> hashes the case and then the payload.
template <> struct std::hash<hollowmere::SunburstSegment::Item> {
    size_t operator()(hollowmere::SunburstSegment::Item item) const noexcept {
        return std::hash<int32_t>{}(item.node);
    }
};
template <> struct std::hash<hollowmere::SunburstSegment::SmallItems> {
    size_t operator()(const hollowmere::SunburstSegment::SmallItems& s) const noexcept {
        size_t h = std::hash<int32_t>{}(s.parent);
        h = h * 31 + std::hash<int32_t>{}(s.count);
        return h * 31 + std::hash<uint64_t>{}(s.size);
    }
};
