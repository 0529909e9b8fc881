#include "corekit/ring_palette.h"
#include "corekit/vellicor_theme.h"

#include <array>
#include <cstdio>
#include <gtest/gtest.h>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace hollowmere {
// Failures print colours as #RRGGBB.
void PrintTo(Rgba c, std::ostream* os) {
    char text[8];
    std::snprintf(text, sizeof text, "#%06X", static_cast<unsigned>(c.hex()));
    *os << text;
}
} // namespace hollowmere

using namespace hollowmere;

namespace {

Rgba hex(uint32_t rgb) {
    return Rgba::fromHex(rgb);
}

constexpr Rgba darkLabel = Rgba::fromHex(0x1B3149);
constexpr Rgba lightLabel = Rgba::fromHex(0xF5F1EB);

} // namespace

TEST(RingPalette, SlotZeroFadesOutwardsInEveryAppearance) {
    struct Case {
        std::string name;
        bool isFile, dark;
        std::array<uint32_t, 6> rings;
    };
    const std::vector<Case> cases = {
        {"light folders",
         false,
         false,
         {0xCA933E, 0xCC9B52, 0xCFA263, 0xD1AA74, 0xD3B284, 0xD5B890}},
        {"light files", true, false, {0xCFA467, 0xD1AC77, 0xD3B387, 0xD5BB96, 0xD7C2A5, 0xD9C8B1}},
        {"dark folders", false, true, {0xB9883C, 0xAD803A, 0xA27837, 0x966F35, 0x8B6732, 0x826130}},
        {"dark files", true, true, {0x926C34, 0x866431, 0x7B5C2F, 0x70552C, 0x664D29, 0x5D4727}},
    };
    for (const Case& c : cases) {
        for (int depth = 1; depth <= 6; ++depth) {
            SCOPED_TRACE(c.name + ", ring " + std::to_string(depth));
            EXPECT_EQ(RingPalette::fill(0, depth, c.isFile, c.dark, false),
                      hex(c.rings[size_t(depth - 1)]));
        }
    }
}

TEST(RingPalette, IncreasedContrastHalvesTheFading) {
    EXPECT_EQ(RingPalette::fill(0, 2, false, false, true), hex(0xCB9748));
    // Ring 1 folders are unfaded either way; the outermost bucket fades by 0.24, not 0.48.
    EXPECT_EQ(RingPalette::fill(0, 1, false, false, true), hex(0xCA933E));
    EXPECT_NE(RingPalette::fill(0, 6, false, false, true),
              RingPalette::fill(0, 6, false, false, false));
}

TEST(RingPalette, SlotsOutsideTheSevenAreNeutral) {
    for (bool dark : {false, true}) {
        SCOPED_TRACE(dark ? "dark" : "light");
        const Rgba neutral = hex(dark ? 0x373E46 : 0xC8C4BC);
        for (std::optional<int> slot : {std::optional<int>{}, std::optional<int>{7},
                                        std::optional<int>{-1}, std::optional<int>{9}}) {
            EXPECT_EQ(RingPalette::swatch(slot, dark), neutral);
            EXPECT_EQ(RingPalette::fill(slot, 1, false, dark, false), neutral);
            EXPECT_EQ(RingPalette::fill(slot, 3, true, dark, false),
                      RingPalette::fill(std::nullopt, 3, true, dark, false));
        }
        EXPECT_NE(RingPalette::fill(std::nullopt, 3, true, dark, false), neutral);
    }
}

TEST(RingPalette, SwatchesAreTheSlotBaseColours) {
    const std::array<uint32_t, 7> light{0xCA933E, 0x2B7AD6, 0x357339, 0x04A9B7,
                                        0x974A32, 0xAE84F2, 0x924666};
    const std::array<uint32_t, 7> dark{0xB9883C, 0x3A7BCB, 0x27762F, 0x13A5B2,
                                       0x974A32, 0xA17ADF, 0x924666};
    for (int slot = 0; slot < RingPalette::slotCount; ++slot) {
        SCOPED_TRACE(slot);
        EXPECT_EQ(RingPalette::swatch(slot, false), hex(light[size_t(slot)]));
        EXPECT_EQ(RingPalette::swatch(slot, true), hex(dark[size_t(slot)]));
        // An unfaded ring-1 folder shows the same colour as its swatch.
        EXPECT_EQ(RingPalette::fill(slot, 1, false, false, false), hex(light[size_t(slot)]));
        EXPECT_EQ(RingPalette::fill(slot, 1, false, true, false), hex(dark[size_t(slot)]));
    }
}

TEST(RingPalette, DepthIsClampedToTheSixBuckets) {
    for (int slot : {0, 3, 7}) {
        SCOPED_TRACE(slot);
        EXPECT_EQ(RingPalette::fill(slot, 0, true, false, false),
                  RingPalette::fill(slot, 1, true, false, false));
        EXPECT_EQ(RingPalette::fill(slot, -4, false, true, false),
                  RingPalette::fill(slot, 1, false, true, false));
        EXPECT_EQ(RingPalette::fill(slot, 9, false, true, true),
                  RingPalette::fill(slot, 6, false, true, true));
    }
    // Rings 5 and 6 are distinct buckets (#D3B284, #D5B890), so the clamp is not vacuous.
    EXPECT_NE(RingPalette::fill(0, 9, false, false, false),
              RingPalette::fill(0, 5, false, false, false));
}

TEST(RingPalette, SameBaseColourFadesDifferentlyInLightAndDark) {
    for (int slot : {4, 6}) {
        SCOPED_TRACE(slot);
        EXPECT_EQ(RingPalette::swatch(slot, false), RingPalette::swatch(slot, true));
        EXPECT_NE(RingPalette::fill(slot, 3, false, false, false),
                  RingPalette::fill(slot, 3, false, true, false));
        EXPECT_NE(RingPalette::fill(slot, 1, true, false, false),
                  RingPalette::fill(slot, 1, true, true, false));
    }
}

TEST(RingPalette, LabelsContrastWithTheirArc) {
    struct Case {
        std::string name;
        std::optional<int> slot;
        int depth;
        bool isFile, dark, highlighted;
        Rgba expected;
    };
    const std::vector<Case> cases = {
        {"slot 0 ring-1 folder", 0, 1, false, false, false, darkLabel},
        {"slot 1 ring-1 folder", 1, 1, false, false, false, lightLabel},
        {"slot 2 ring-1 folder", 2, 1, false, false, false, lightLabel},
        {"slot 3 ring-1 folder", 3, 1, false, false, false, darkLabel},
        {"slot 4 ring-1 folder", 4, 1, false, false, false, lightLabel},
        {"slot 5 ring-1 folder", 5, 1, false, false, false, darkLabel},
        {"slot 6 ring-1 folder", 6, 1, false, false, false, lightLabel},
        // Judged on the lightened colour: #2B7AD6 under the overlay is #669FE1.
        {"slot 1 ring-1 folder, highlighted", 1, 1, false, false, true, darkLabel},
        {"dark neutral", std::nullopt, 1, false, true, false, lightLabel},
        {"light neutral", std::nullopt, 1, false, false, false, darkLabel},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(RingPalette::label(c.slot, c.depth, c.isFile, c.dark, c.highlighted, false),
                  c.expected);
    }
    // The two label colours are the theme's accent and its text colour in light appearance.
    EXPECT_EQ(darkLabel, VellicorTheme::accent.light);
    EXPECT_EQ(lightLabel, VellicorTheme::onAccent.light);
}

TEST(RingPalette, HighlightCanOnlyTurnLabelsDark) {
    // Across the table, a highlight can only lighten: light labels may turn dark, never back.
    int flips = 0;
    for (int slot = 0; slot <= 7; ++slot) {
        for (int depth = 1; depth <= 6; ++depth) {
            for (int variant = 0; variant < 8; ++variant) {
                const bool isFile = variant & 4, dark = variant & 2, contrast = variant & 1;
                const Rgba plain = RingPalette::label(slot, depth, isFile, dark, false, contrast);
                const Rgba lit = RingPalette::label(slot, depth, isFile, dark, true, contrast);
                if (plain == darkLabel) {
                    EXPECT_EQ(lit, darkLabel);
                }
                if (plain != lit) ++flips;
            }
        }
    }
    EXPECT_GT(flips, 0);
}
