#pragma once

// Qt adapters for corekit's colours. Header-only, so the colour math itself never links Qt.

#include "corekit/rgba.h"
#include "corekit/vellicor_theme.h"

#include <QColor>

namespace hollowmere {

inline QColor toQColor(Rgba color) {
    return QColor(color.red, color.green, color.blue, color.alpha);
}

inline QColor toQColor(const ThemeColor& color, bool dark) {
    return toQColor(color.resolved(dark));
}

} // namespace hollowmere
