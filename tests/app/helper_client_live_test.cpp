// The client against the real helper, started as systemd starts it, in a test installation
// whose app is the helper tests' client program: it connects, sees the helper answer, and
// hands the connection over to this process.
#include "helper_process.h"
#include "support/privileges.h"
#include "run_task.h"

#include "helperlink/build_string.h"
#include "model/helper_client.h"
#include "scankit/cancellation.h"
#include "scankit/disk_scanner.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

namespace hollowmere {
namespace {

using namespace std::chrono_literals;
using Failure = HelperClient::Failure;

class EnabledRegistration : public HelperRegistration {
public:
    Status status() override { return Status::enabled; }
    QCoro::Task<std::optional<QString>> enable() override { co_return std::nullopt; }
};

class LiveClient {
public:
    explicit LiveClient(test::HelperProcess& helper)
        : settings_(QString::fromStdString(helper.dir() / "settings.conf")) {
        HelperClient::Options options;
        options.appExecutable = helper.appPath();
        options.connect = [&helper] {
            test::HelperProcess::Outcome outcome = helper.connectThrough(helper.appPath());
            if (outcome.status != 'A' || !outcome.socket) {
                throw HelperConnection::Error(std::string("the app stand-in could not connect: ") + outcome.status);
            }
            return HelperConnection(std::move(*outcome.socket));
        };
        options.restartPause = 50ms;
        client_ = std::make_unique<HelperClient>(std::make_unique<EnabledRegistration>(), settings_, options);
    }
    HelperClient& operator*() { return *client_; }
    HelperClient* operator->() { return client_.get(); }

private:
    SettingsStore settings_;
    std::unique_ptr<HelperClient> client_;
};

// Polls progress until the helper reports a scan under way.
QCoro::Task<DiskScanner::Progress> scanUnderWay(HelperClient* client) {
    for (;;) {
        DiskScanner::Progress progress = co_await client->progress();
        if (progress.items > 0 && !progress.currentFolder.empty()) co_return progress;
    }
}

TEST(HelperClientLive, ScansAsRootAndReportsTheHelpersWords) {
    REQUIRE_ROOT("the helper admits only a root-owned app");
    test::HelperProcess helper;
    LiveClient client(helper);
    ASSERT_EQ(client->state(), HelperClient::State::enabled);

    const HelperClient::Hello hello = test::runTask(client->checkHelper());
    EXPECT_EQ(hello, (HelperClient::Hello{BuildString::of(helper.helperPath()), true, true}));
    EXPECT_EQ(client->helperHasFullDiskAccess(), true);

    test::TempDir data;
    data.mkdir("tree");
    data.mkdir("tree/inner");
    data.write("tree/inner/a", 9000);
    data.write("tree/b", 100);
    const std::string tree = data / "tree";
    const Date before = Clock::now();
    FileTree received = test::runTask(client->scan(tree));
    EXPECT_GE(received.scannedAt(), before);
    const FileTree local = DiskScanner(tree, std::nullopt, 2, false).scan();
    received.setScannedAt(local.scannedAt());
    EXPECT_EQ(received, local);

    // A long scan: progress while it runs, a second scan refused, a stop forwarded.
    std::stop_source stop;
    QCoro::Task<FileTree> longScan = client->scan("/usr", stop.get_token());
    const DiskScanner::Progress progress = test::runTask(scanUnderWay(&*client));
    EXPECT_TRUE(progress.currentFolder.starts_with("/usr")) << progress.currentFolder;
    try {
        test::runTask(client->scan(tree));
        ADD_FAILURE() << "a second scan ran";
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.description().toStdString(), "The helper couldn't do it: another scan is running");
    }
    stop.request_stop();
    EXPECT_THROW(test::runTask(std::move(longScan)), CancellationError);

    // The helper's word for an item newer than its scan becomes its sentence.
    data.write("new", 10);
    try {
        test::runTask(client->moveToTrash(data / "new", Clock::from_time_t(0)));
        ADD_FAILURE() << "moved an item made after its scan";
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.description().toStdString(), "It was made after the scan began: rescan, then try again.");
    }
    EXPECT_TRUE(std::filesystem::exists(data / "new"));
}

TEST(HelperClientLive, ReplacesAHelperLeftFromAnotherBuild) {
    REQUIRE_ROOT("the helper admits only a root-owned app");
    test::HelperStart start;
    start.restartsOnDemand = true;
    test::HelperProcess helper(start);
    LiveClient client(helper);
    const std::string old = test::runTask(client->hello()).build;

    // The app is updated: a new helper file replaces the one that is running.
    const std::string fresh = helper.dir() / "libexec/hollowmere-helper.new";
    test::install(helper.helperPath(), fresh, 0755);
    std::filesystem::rename(fresh, helper.helperPath());
    const std::string expected = BuildString::of(helper.helperPath());
    ASSERT_NE(old, expected);

    const HelperClient::Hello hello = test::runTask(client->checkHelper());
    EXPECT_EQ(hello.build, expected) << helper.log();
    EXPECT_EQ(helper.launches(), 2);
    EXPECT_NE(helper.log().find("quit"), std::string::npos) << helper.log();
}

TEST(HelperClientLive, QuitEndsTheHelperAndTheNextCallStartsAnother) {
    REQUIRE_ROOT("the helper admits only a root-owned app");
    test::HelperStart start;
    start.restartsOnDemand = true;
    test::HelperProcess helper(start);
    LiveClient client(helper);
    test::runTask(client->hello());
    test::runTask(client->quit());
    EXPECT_FALSE(client->isConnected());
    EXPECT_EQ(helper.waitForExit(5s), 0);
    EXPECT_TRUE(test::runTask(client->hello()).callerIsAdministrator);
    EXPECT_EQ(helper.launches(), 2);
}

} // namespace
} // namespace hollowmere
