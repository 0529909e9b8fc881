#include "corekit/ring_palette.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>

namespace hollowmere::RingPalette {

namespace {

constexpr int depthBuckets = 6;
constexpr int neutralSlot = slotCount; // table row for arcs without a slot
constexpr size_t tableSize = (slotCount + 1) * depthBuckets * 8;

// Base colours per slot, light and dark; the last row is the neutral colour.
constexpr std::array<std::array<uint32_t, 2>, slotCount + 1> baseColors{{
    {0xCA933E, 0xB9883C},
    {0x2B7AD6, 0x3A7BCB},
    {0x357339, 0x27762F},
    {0x04A9B7, 0x13A5B2},
    {0x974A32, 0x974A32},
    {0xAE84F2, 0xA17ADF},
    {0x924666, 0x924666},
    {0xC8C4BC, 0x373E46},
}};

constexpr Rgba darkLabel = Rgba::fromHex(0x1B3149);
constexpr Rgba lightLabel = Rgba::fromHex(0xF5F1EB);

struct Linear {
    double r, g, b;
};

double decode(uint8_t channel) {
    const double c = channel / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

uint8_t encode(double linear) {
    const double x = std::clamp(linear, 0.0, 1.0);
    const double c = x <= 0.0031308 ? 12.92 * x : 1.055 * std::pow(x, 1 / 2.4) - 0.055;
    return static_cast<uint8_t>(std::round(c * 255)); // std::round: halves away from zero
}

Linear oklabToLinear(double lightness, double a, double b) {
    const double l1 = lightness + 0.3963377774 * a + 0.2158037573 * b;
    const double m1 = lightness - 0.1055613458 * a - 0.0638541728 * b;
    const double s1 = lightness - 0.0894841775 * a - 1.2914855480 * b;
    const double l = l1 * l1 * l1, m = m1 * m1 * m1, s = s1 * s1 * s1;
    return {4.0767416621 * l - 3.3077115913 * m + 0.2309699292 * s,
            -1.2684380046 * l + 2.6097574011 * m - 0.3413193965 * s,
            -0.0041960863 * l - 0.7034186147 * m + 1.7076147010 * s};
}

bool outsideGamut(const Linear& c) {
    const auto out = [](double v) { return v < -0.0001 || v > 1.0001; };
    return out(c.r) || out(c.g) || out(c.b);
}

// Fades `base` by `mix` in OKLCh: lightness towards the appearance's target, chroma down, hue
// kept. Chroma that leaves the sRGB gamut is reduced further rather than clipped per channel,
// which would shift the hue.
Rgba fade(Rgba base, double mix, bool dark) {
    const double r = decode(base.red), g = decode(base.green), b = decode(base.blue);
    const double l = std::cbrt(0.4122214708 * r + 0.5363325363 * g + 0.0514459929 * b);
    const double m = std::cbrt(0.2119034982 * r + 0.6806995451 * g + 0.1073969566 * b);
    const double s = std::cbrt(0.0883024619 * r + 0.2817188376 * g + 0.6299787005 * b);
    const double lightness = 0.2104542553 * l + 0.7936177850 * m - 0.0040720468 * s;
    const double labA = 1.9779984951 * l - 2.4285922050 * m + 0.4505937099 * s;
    const double labB = 0.0259040371 * l + 0.7827717662 * m - 0.8086757660 * s;
    const double chroma = std::sqrt(labA * labA + labB * labB);
    const double hue = std::atan2(labB, labA);

    const double target = dark ? 0.36 : 0.9;
    const double chromaLoss = dark ? 0.6 : 1.0;
    const double fadedLightness = lightness + mix * (target - lightness);
    double fadedChroma = (1 - chromaLoss * mix) * chroma;

    const auto toLinear = [&] {
        return oklabToLinear(fadedLightness, fadedChroma * std::cos(hue),
                             fadedChroma * std::sin(hue));
    };
    Linear out = toLinear();
    while (fadedChroma > 0 && outsideGamut(out)) {
        fadedChroma = std::max(0.0, fadedChroma - 0.002);
        out = toLinear();
    }
    return {encode(out.r), encode(out.g), encode(out.b), 255};
}

double mixAmount(int bucket, bool isFile, bool dark, bool contrast) {
    const double step = bucket * 0.1;
    const double fileMix = isFile ? (dark ? 0.34 : 0.22) : 0.0;
    if (step < 0.48) return (contrast ? step / 2 : step) + fileMix;
    return fileMix + (contrast ? 0.24 : 0.48); // the outermost bucket
}

size_t tableIndex(int slotRow, int bucket, bool isFile, bool dark, bool contrast) {
    return static_cast<size_t>((slotRow * depthBuckets + bucket) * 8 + isFile * 4 + dark * 2 +
                               contrast);
}

using Table = std::array<Rgba, tableSize>;

const Table& table() {
    // A function-local static: built once, on first use, safely across threads.
    static const Table built = [] {
        Table t{};
        for (int row = 0; row <= neutralSlot; ++row) {
            for (int bucket = 0; bucket < depthBuckets; ++bucket) {
                for (int variant = 0; variant < 8; ++variant) {
                    const bool isFile = variant & 4, dark = variant & 2, contrast = variant & 1;
                    const Rgba base = Rgba::fromHex(baseColors[static_cast<size_t>(row)][dark]);
                    const double mix = mixAmount(bucket, isFile, dark, contrast);
                    t[tableIndex(row, bucket, isFile, dark, contrast)] =
                        mix == 0 ? base : fade(base, mix, dark);
                }
            }
        }
        return t;
    }();
    return built;
}

int slotRow(std::optional<int> slot) {
    return slot && *slot >= 0 && *slot < slotCount ? *slot : neutralSlot;
}

} // namespace

Rgba fill(std::optional<int> slot, int depth, bool isFile, bool dark, bool increasedContrast) {
    const int bucket = std::clamp(depth, 1, depthBuckets) - 1;
    return table()[tableIndex(slotRow(slot), bucket, isFile, dark, increasedContrast)];
}

Rgba label(std::optional<int> slot, int depth, bool isFile, bool dark, bool highlighted,
           bool increasedContrast) {
    Rgba c = fill(slot, depth, isFile, dark, increasedContrast);
    if (highlighted) {
        // What the white highlight overlay makes of the fill.
        const double u = highlightOpacity(dark);
        const auto lighten = [u](uint8_t v) {
            return static_cast<uint8_t>(std::round(u * (255 - v) + v));
        };
        c = {lighten(c.red), lighten(c.green), lighten(c.blue), 255};
    }
    const double luminance =
        0.2126 * decode(c.red) + 0.7152 * decode(c.green) + 0.0722 * decode(c.blue);
    return luminance > 0.22 ? darkLabel : lightLabel;
}

Rgba swatch(std::optional<int> slot, bool dark) {
    return Rgba::fromHex(baseColors[static_cast<size_t>(slotRow(slot))][dark]);
}

} // namespace hollowmere::RingPalette
