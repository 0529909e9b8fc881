#pragma once

#include "sunburstkit/sunburst_segment.h"

#include <variant>

namespace hollowmere {

// What lies under a point of the map: an arc, or the hole in the middle (the focused folder).
struct SunburstHit {
    struct Center {
        friend constexpr bool operator==(Center, Center) = default;
    };

    std::variant<SunburstSegment, Center> value;

    bool isCenter() const { return std::holds_alternative<Center>(value); }
    const SunburstSegment* segment() const { return std::get_if<SunburstSegment>(&value); }

    friend bool operator==(const SunburstHit&, const SunburstHit&) = default;
};

} // namespace hollowmere
