#pragma once

#include "helper_registration.h"

#include <QStringList>

namespace hollowmere {

// The helper as systemd socket activation: registered means the socket unit is installed,
// enabled means systemd listens for the app. Enabling goes through pkexec, which asks for an
// administrator's password.
class SystemdRegistration : public HelperRegistration {
public:
    struct Commands {
        QString systemctl = QStringLiteral("systemctl");
        QString pkexec = QStringLiteral("pkexec");
    };

    // `unit`: the helper's socket unit (ServiceNames::socketUnit()).
    explicit SystemdRegistration(QString unit, Commands commands);
    explicit SystemdRegistration(QString unit);
    SystemdRegistration();

    Status status() override;
    QCoro::Task<std::optional<QString>> enable() override;

    // What `systemctl is-enabled` printed (its first line), mapped to a status; a command
    // that could not run prints nothing.
    static Status statusOf(const QString& isEnabled);

private:
    QString unit_;
    Commands commands_;
};

} // namespace hollowmere
