#pragma once

#include <cstdint>

namespace hollowmere {

struct Volume;

// How one volume's capacity splits into what the scan found, what was moved to the Trash from
// the result, used space the scan did not read, purgeable space and free space.
struct SpaceBreakdown {
    int64_t total = 0;
    int64_t files = 0;
    int64_t trashed = 0;
    // Used space (without purgeable) not covered by files and trashed; negative when those
    // add up to more.
    int64_t unscannedUnclamped = 0;
    int64_t purgeable = 0;
    int64_t available = 0;

    SpaceBreakdown() = default;
    // `files` is the size of the tree's root, `trashed` the bytes moved to the Trash and not
    // put back; both are clamped to the signed range. The arithmetic saturates at the ends of
    // the signed 64-bit range rather than wrapping.
    SpaceBreakdown(const Volume& volume, uint64_t files, uint64_t trashed);
    SpaceBreakdown(int64_t total, int64_t available, int64_t availableForImportantUsage, uint64_t files,
                   uint64_t trashed);

    // Used space the scan did not read.
    int64_t unscanned() const { return unscannedUnclamped > 0 ? unscannedUnclamped : 0; }
    // Purgeable space the scan already counted among the files (caches the system may delete).
    int64_t purgeableAmongFiles() const;
    // Purgeable space shown on its own.
    int64_t purgeableBeyondFiles() const { return purgeable - purgeableAmongFiles(); }

    friend bool operator==(const SpaceBreakdown&, const SpaceBreakdown&) = default;
};

} // namespace hollowmere
