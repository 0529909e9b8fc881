#include "space_breakdown.h"

#include "saturating.h"
#include "volume.h"

#include <algorithm>

namespace hollowmere {

SpaceBreakdown::SpaceBreakdown(const Volume& volume, uint64_t files, uint64_t trashed)
    : SpaceBreakdown(volume.total, volume.available, volume.availableForImportantUsage, files, trashed) {}

SpaceBreakdown::SpaceBreakdown(int64_t total, int64_t available, int64_t availableForImportantUsage,
                               uint64_t files, uint64_t trashed)
    : total(total)
    , files(Saturating::fromUnsigned(files))
    , trashed(Saturating::fromUnsigned(trashed))
    , purgeable(std::max<int64_t>(0, Saturating::subtract(availableForImportantUsage, available)))
    , available(available) {
    const int64_t used = std::max<int64_t>(0, Saturating::subtract(total, available));
    const int64_t usedWithoutPurgeable = Saturating::subtract(used, purgeable);
    unscannedUnclamped = Saturating::subtract(Saturating::subtract(usedWithoutPurgeable, this->files), this->trashed);
}

int64_t SpaceBreakdown::purgeableAmongFiles() const {
    const int64_t excess = std::max<int64_t>(0, Saturating::negate(unscannedUnclamped));
    return std::min(excess, purgeable);
}

} // namespace hollowmere
