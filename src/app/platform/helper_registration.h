#pragma once

#include <QString>

#include <qcoro/qcorotask.h>

#include <optional>

namespace hollowmere {

// What the system knows of the privileged helper, and the way to register it. The helper
// client asks only through this, so tests can put it in any state.
class HelperRegistration {
public:
    enum class Status {
        notRegistered,    // the system does not know the helper, or it is switched off for good
        requiresApproval, // installed, but an administrator has yet to switch it on
        enabled,          // the system starts it when the app connects
    };

    virtual ~HelperRegistration() = default;

    // Asks the system now.
    virtual Status status() = 0;
    // Switches the helper on, with whatever approval that takes; the reason when it did not
    // happen.
    virtual QCoro::Task<std::optional<QString>> enable() = 0;
};

} // namespace hollowmere
