#include "systemd_registration.h"

#include "helperlink/service_names.h"

#include <QProcess>

#include <qcoro/qcorosignal.h>

namespace hollowmere {

namespace {

constexpr int statusTimeout = 5000; // ms; systemctl answers at once unless the system hangs

// pkexec's own exit statuses.
constexpr int dismissed = 126;
constexpr int notAuthorised = 127;

} // namespace

SystemdRegistration::SystemdRegistration(QString unit, Commands commands)
    : unit_(std::move(unit))
    , commands_(std::move(commands)) {}

SystemdRegistration::SystemdRegistration(QString unit)
    : SystemdRegistration(std::move(unit), Commands{}) {}

SystemdRegistration::SystemdRegistration()
    : SystemdRegistration(QString::fromStdString(ServiceNames::socketUnit())) {}

HelperRegistration::Status SystemdRegistration::statusOf(const QString& isEnabled) {
    const QString state = isEnabled.section(QLatin1Char('\n'), 0, 0).trimmed();
    // Units that systemd starts: enabled ones, and those pulled in some other way.
    static const QStringList started = {
        QStringLiteral("enabled"),  QStringLiteral("enabled-runtime"), QStringLiteral("static"),
        QStringLiteral("indirect"), QStringLiteral("generated"),       QStringLiteral("alias"),
    };
    // Installed but switched off: switching on is what registering does.
    static const QStringList installed = {
        QStringLiteral("disabled"),
        QStringLiteral("linked"),
        QStringLiteral("linked-runtime"),
    };
    if (started.contains(state)) return Status::enabled;
    if (installed.contains(state)) return Status::requiresApproval;
    return Status::notRegistered; // not-found, masked, or no systemd at all
}

HelperRegistration::Status SystemdRegistration::status() {
    QProcess process;
    process.start(commands_.systemctl, {QStringLiteral("is-enabled"), unit_});
    if (!process.waitForFinished(statusTimeout)) {
        process.kill();
        process.waitForFinished();
        return Status::notRegistered;
    }
    return statusOf(QString::fromUtf8(process.readAllStandardOutput()));
}

QCoro::Task<std::optional<QString>> SystemdRegistration::enable() {
    QProcess process;
    process.start(commands_.pkexec, {commands_.systemctl, QStringLiteral("enable"), QStringLiteral("--now"), unit_});
    if (!process.waitForStarted()) co_return process.errorString();
    // The administrator may take a while to type the password: no time limit.
    if (process.state() != QProcess::NotRunning) co_await qCoro(&process, &QProcess::finished);
    if (process.exitStatus() != QProcess::NormalExit) co_return QStringLiteral("%1 crashed").arg(commands_.pkexec);
    switch (process.exitCode()) {
    case 0:
        co_return std::nullopt;
    case dismissed:
        co_return QStringLiteral("the password dialog was dismissed");
    case notAuthorised:
        co_return QStringLiteral("not authorised");
    default:
        const QString said = QString::fromUtf8(process.readAllStandardError()).trimmed();
        co_return said.isEmpty()
            ? QStringLiteral("%1 exited with status %2").arg(commands_.pkexec).arg(process.exitCode())
            : said;
    }
}

} // namespace hollowmere
