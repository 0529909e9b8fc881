#include "run_task.h"

#include "platform/settings_store.h"
#include "platform/systemd_registration.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>

namespace hollowmere {
namespace {

using Status = HelperRegistration::Status;

TEST(SystemdRegistration, MapsWhatSystemctlSaysToAStatus) {
    const struct {
        const char* said;
        Status status;
    } cases[] = {
        {"enabled\n", Status::enabled},
        {"enabled-runtime\n", Status::enabled},
        {"static\n", Status::enabled},
        {"indirect\n", Status::enabled},
        {"disabled\n", Status::requiresApproval},
        {"linked\n", Status::requiresApproval},
        {"masked\n", Status::notRegistered},
        {"not-found\n", Status::notRegistered},
        {"", Status::notRegistered},
        {"Failed to get unit file state: No such file\n", Status::notRegistered},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SystemdRegistration::statusOf(QString::fromUtf8(c.said)), c.status) << c.said;
}

// Stand-ins for systemctl and pkexec: shell scripts that note how they were called.
class FakeCommands {
public:
    FakeCommands() { dir_.mkdir("bin"); }

    void script(const char* name, const std::string& body) const {
        const std::string path = dir_ / (std::string("bin/") + name);
        std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
        ::chmod(path.c_str(), 0755);
    }
    SystemdRegistration::Commands commands() const {
        return {QString::fromStdString(dir_ / "bin/systemctl"), QString::fromStdString(dir_ / "bin/pkexec")};
    }
    std::string calls() const {
        std::ifstream in(dir_ / "calls");
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::string callsFile() const { return dir_ / "calls"; }

private:
    test::TempDir dir_;
};

TEST(SystemdRegistration, AsksSystemctlAndEnablesThroughPkexec) {
    FakeCommands fake;
    fake.script("systemctl", "echo \"systemctl $*\" >> " + fake.callsFile() + "\necho disabled");
    fake.script("pkexec", "echo \"pkexec $*\" >> " + fake.callsFile());
    SystemdRegistration registration(QStringLiteral("org.example.helper.socket"), fake.commands());

    EXPECT_EQ(registration.status(), Status::requiresApproval);
    EXPECT_EQ(test::runTask(registration.enable()), std::nullopt);
    EXPECT_EQ(fake.calls(), "systemctl is-enabled org.example.helper.socket\n"
                            "pkexec " +
                                fake.commands().systemctl.toStdString() + " enable --now org.example.helper.socket\n");
}

TEST(SystemdRegistration, ReportsWhyEnablingFailed) {
    const struct {
        const char* pkexec;
        const char* reason;
    } cases[] = {
        {"exit 126", "the password dialog was dismissed"},
        {"exit 127", "not authorised"},
        {"echo 'Failed to enable unit: Unit file x.socket does not exist.' >&2; exit 1",
         "Failed to enable unit: Unit file x.socket does not exist."},
        {"exit 3", "exited with status 3"},
    };
    for (const auto& c : cases) {
        FakeCommands fake;
        fake.script("pkexec", c.pkexec);
        SystemdRegistration registration(QStringLiteral("x.socket"), fake.commands());
        const std::optional<QString> reason = test::runTask(registration.enable());
        ASSERT_TRUE(reason) << c.pkexec;
        EXPECT_TRUE(reason->endsWith(QString::fromUtf8(c.reason))) << reason->toStdString();
    }
    // No systemctl or pkexec at all: nothing is registered, and enabling says why.
    SystemdRegistration missing(QStringLiteral("x.socket"),
                                {QStringLiteral("/nonexistent/systemctl"), QStringLiteral("/nonexistent/pkexec")});
    EXPECT_EQ(missing.status(), Status::notRegistered);
    EXPECT_TRUE(test::runTask(missing.enable()));
}

TEST(SettingsStore, KeepsBooleansAndRemovesAbsentOnes) {
    test::TempDir dir;
    const QString file = QString::fromStdString(dir / "settings.conf");
    {
        SettingsStore store(file);
        EXPECT_EQ(store.boolean(QStringLiteral("a")), std::nullopt);
        store.setBoolean(QStringLiteral("a"), false);
        store.setBoolean(QStringLiteral("b"), true);
        store.setValue(QStringLiteral("c"), QStringLiteral("yes"));
        store.setBoolean(QStringLiteral("b"), std::nullopt);
    }
    SettingsStore again(file);
    EXPECT_EQ(again.boolean(QStringLiteral("a")), false);
    EXPECT_EQ(again.boolean(QStringLiteral("b")), std::nullopt);
    EXPECT_EQ(again.boolean(QStringLiteral("c")), std::nullopt) << "not a boolean";
}

} // namespace
} // namespace hollowmere
