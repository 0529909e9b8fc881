#include "fake_helper.h"
#include "run_task.h"

#include "helperlink/build_string.h"
#include "helperlink/failure_words.h"
#include "model/helper_client.h"
#include "scankit/cancellation.h"
#include "support/privileges.h"
#include "support/temp_dir.h"
#include "support/tree_builder.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

namespace hollowmere {
namespace {

using namespace std::chrono_literals;
using State = HelperClient::State;
using Failure = HelperClient::Failure;
using Status = HelperRegistration::Status;
using test::FakeHelper;
using test::runTask;

class FakeRegistration : public HelperRegistration {
public:
    struct Record {
        Status status = Status::enabled;
        std::optional<QString> enableError; // else enabling makes the status enabled
        int enables = 0;
    };
    explicit FakeRegistration(std::shared_ptr<Record> record)
        : record_(std::move(record)) {}
    Status status() override { return record_->status; }
    QCoro::Task<std::optional<QString>> enable() override {
        ++record_->enables;
        if (!record_->enableError) record_->status = Status::enabled;
        co_return record_->enableError;
    }

private:
    std::shared_ptr<Record> record_;
};

// An installation of the app with its helper beside it, in a temporary folder: root's, so
// that the client may use a helper.
class Installation {
public:
    Installation() {
        ::chmod(dir_.path().c_str(), 0755);
        dir_.mkdir("bin");
        dir_.mkdir("libexec");
        place("bin/hollowmere", "app");
        place("libexec/hollowmere-helper", "helper");
    }
    void place(const char* relative, const char* content) const {
        const std::string path = dir_ / relative;
        ::unlink(path.c_str());
        std::ofstream(path) << content;
        ::chmod(path.c_str(), 0755);
    }
    std::string app() const { return dir_ / "bin/hollowmere"; }
    std::string helper() const { return dir_ / "libexec/hollowmere-helper"; }
    const test::TempDir& dir() const { return dir_; }

private:
    test::TempDir dir_;
};

class HelperClientTest : public ::testing::Test {
protected:
    std::unique_ptr<HelperClient> makeClient(FakeHelper* helper = nullptr, std::string app = {}) {
        HelperClient::Options options;
        options.appExecutable = app.empty() ? installation.app() : app;
        options.socketPath = installation.dir() / "no-helper-here.socket";
        if (helper) options.connect = [helper] { return helper->connect(); };
        options.restartPause = 1ms;
        return std::make_unique<HelperClient>(std::make_unique<FakeRegistration>(registration), settings, options);
    }

    Installation installation;
    std::shared_ptr<FakeRegistration::Record> registration = std::make_shared<FakeRegistration::Record>();
    test::TempDir settingsDir;
    SettingsStore settings{QString::fromStdString(settingsDir / "settings.conf")};
};

// Runs a call that must fail; its Failure.
template <typename T> Failure failureOf(QCoro::Task<T> task) {
    try {
        runTask(std::move(task));
    } catch (const Failure& failure) {
        return failure;
    }
    ADD_FAILURE() << "the call did not fail";
    return Failure::refused("(did not fail)");
}

FakeHelper::Action reply(uint32_t id, HelperReply answer) {
    return {{{id, std::move(answer)}}, false};
}

TEST_F(HelperClientTest, ACopyThatCannotHaveAHelperIsUnavailable) {
    // Not root's, group-writable, or without the helper beside it.
    std::vector<std::pair<std::string, std::function<void()>>> cases = {
        {"no helper", [&] { ::unlink(installation.helper().c_str()); }},
        {"app writable by its group", [&] { ::chmod(installation.app().c_str(), 0775); }},
        {"app not root's", [&] { ::chown(installation.app().c_str(), 65534, 65534); }},
    };
    for (auto& [what, spoil] : cases) {
        installation.place("libexec/hollowmere-helper", "helper");
        ::chmod(installation.app().c_str(), 0755);
        ::chown(installation.app().c_str(), 0, 0);
        spoil();
        FakeHelper helper([](uint32_t id, const HelperRequest&) { return reply(id, HelloReply{}); });
        auto client = makeClient(&helper);
        EXPECT_EQ(client->state(), State::unavailable) << what;
        runTask(client->registerHelper());
        EXPECT_EQ(registration->enables, 0) << what;
        const Failure failure = failureOf(client->hello());
        EXPECT_EQ(failure, Failure::unavailable()) << what;
        EXPECT_EQ(failure.description().toStdString(), "This copy of Hollowmere can't scan as an administrator.");
        EXPECT_THROW(runTask(client->scan("/")), Failure);
        EXPECT_EQ(helper.connections(), 0) << what;
    }
}

TEST_F(HelperClientTest, StateFollowsTheRegistration) {
    REQUIRE_ROOT("only a root-owned app may use the helper");
    FakeHelper helper([](uint32_t id, const HelperRequest&) { return reply(id, HelloReply{"b", true, true}); });
    registration->status = Status::notRegistered;
    auto client = makeClient(&helper);
    EXPECT_EQ(client->state(), State::notRegistered);
    EXPECT_TRUE(client->team());
    EXPECT_EQ(client->embeddedHelper(), installation.helper());
    EXPECT_EQ(client->appIdentifier(), "org.hollowmere.Hollowmere");
    EXPECT_EQ(client->helperName(), QStringLiteral("Hollowmere Helper"));
    QSignalSpy changes(client.get(), &HelperClient::stateChanged);

    registration->status = Status::requiresApproval;
    client->refreshState();
    client->refreshState();
    EXPECT_EQ(client->state(), State::requiresApproval);
    EXPECT_EQ(changes.count(), 1) << "notifies only a real change";
    const Failure failure = failureOf(client->trashOwner("/x"));
    EXPECT_EQ(failure, Failure::notEnabled());
    EXPECT_EQ(failure.description().toStdString(), "Hollowmere isn't allowed to work as an administrator yet.");
    EXPECT_EQ(helper.connections(), 0) << "no connection while not enabled";

    // A registration that fails changes nothing; one that works enables the client.
    registration->enableError = QStringLiteral("not authorised");
    runTask(client->registerHelper());
    EXPECT_EQ(client->state(), State::requiresApproval);
    registration->enableError.reset();
    runTask(client->registerHelper());
    EXPECT_EQ(registration->enables, 2);
    EXPECT_EQ(client->state(), State::enabled);
    EXPECT_EQ(changes.count(), 2);
    EXPECT_EQ(runTask(client->hello()), (HelperClient::Hello{"b", true, true}));
    EXPECT_EQ(helper.connections(), 1);
}

TEST_F(HelperClientTest, TurnsEveryWordIntoItsSentence) {
    REQUIRE_ROOT("only a root-owned app may use the helper");
    const struct {
        std::string_view word;
        const char* sentence;
    } cases[] = {
        {FailureWords::notAnAdministrator,
         "Only an administrator of this computer can use Hollowmere as an administrator."},
        {FailureWords::vital, "The system needs this folder: it stays where it is."},
        {FailureWords::taken, "Something else is in its place now."},
        {FailureWords::folderGone, "The folder it was in is gone."},
        {FailureWords::pathChanged, "Its folder has changed since the scan: rescan it and try again."},
        {FailureWords::unsafeTrash, "The Trash it would go to isn't an ordinary folder: it stays where it is."},
        {FailureWords::replaced, "Another item has its name in the Trash now: it stays there."},
        {FailureWords::changedSinceScan, "It was made after the scan began: rescan, then try again."},
        {FailureWords::anotherScanIsRunning, "The helper couldn't do it: another scan is running"},
        {FailureWords::notInTrash, "The helper couldn't do it: not in a Trash"},
        {"rename: errno 13 (Permission denied)", "The helper couldn't do it: rename: errno 13 (Permission denied)"},
        {"Not An Administrator", "The helper couldn't do it: Not An Administrator"},
        {"", "The helper couldn't do it: "},
    };
    std::string word;
    FakeHelper helper([&word](uint32_t id, const HelperRequest& request) {
        switch (messageOf(request)) {
        case HelperMessage::trashOwner:
            return reply(id, TrashOwnerReply{-1, std::nullopt, false, word});
        case HelperMessage::moveToTrash:
            return reply(id, MoveToTrashReply{std::nullopt, -1, 0, 0, word});
        case HelperMessage::putBack:
            return reply(id, PutBackReply{word});
        default:
            return reply(id, ScanReply{std::nullopt, word});
        }
    });
    auto client = makeClient(&helper);
    for (const auto& c : cases) {
        word = c.word;
        const Failure failures[] = {
            failureOf(client->trashOwner("/a")),
            failureOf(client->moveToTrash("/a", Clock::now())),
            failureOf(client->putBack("/t/a", "/a", FileIdentity(1, 2))),
            failureOf(client->scan("/a")),
        };
        for (const Failure& failure : failures) {
            EXPECT_EQ(failure, Failure::refused(word));
            EXPECT_EQ(failure.description().toStdString(), c.sentence);
            EXPECT_STREQ(failure.what(), c.sentence);
        }
    }
    EXPECT_EQ(helper.connections(), 1) << "one connection for every call";
}

TEST_F(HelperClientTest, ConvertsEachReply) {
    REQUIRE_ROOT("only a root-owned app may use the helper");
    test::TreeBuilder builder("/data");
    builder.add(0, {{"a", FileTree::Kind::file, 4096}, {"b", FileTree::Kind::folder}});
    const FileTree tree = builder.build();
    MoveToTrashRequest moveAsked;
    PutBackRequest putBackAsked;
    bool garbled = false;
    FakeHelper helper([&](uint32_t id, const HelperRequest& request) {
        if (const auto* move = std::get_if<MoveToTrashRequest>(&request)) moveAsked = *move;
        if (const auto* back = std::get_if<PutBackRequest>(&request)) putBackAsked = *back;
        switch (messageOf(request)) {
        case HelperMessage::scanProgress:
            return reply(id, ScanProgressReply{12, 3456, "/data/b"});
        case HelperMessage::trashOwner:
            return reply(id, TrashOwnerReply{-2, "nobody", true, std::nullopt});
        case HelperMessage::moveToTrash:
            return reply(id, MoveToTrashReply{"/data/.Trash-0/files/a", 1000, 7, 99, std::nullopt});
        case HelperMessage::putBack:
            return reply(id, PutBackReply{});
        case HelperMessage::scan:
            if (garbled) return reply(id, ScanReply{std::vector<uint8_t>{1, 2, 3}, std::nullopt});
            // A tree comes with an error text too: the tree wins.
            return reply(id, ScanReply{tree.transferData(), "ignored"});
        default:
            return reply(id, HelloReply{"build", false, true});
        }
    });
    auto client = makeClient(&helper);

    EXPECT_EQ(runTask(client->progress()), (DiskScanner::Progress{12, 3456, "/data/b"}));
    EXPECT_EQ(runTask(client->trashOwner("/data/a")), (HelperClient::TrashOwner{4294967294u, "nobody", true}));
    const Date scanDate = Clock::from_time_t(1700000000) + 250ms;
    EXPECT_EQ(runTask(client->moveToTrash("/data/a", scanDate)),
              (HelperClient::Moved{"/data/.Trash-0/files/a", 1000, FileIdentity(7, 99)}));
    EXPECT_EQ(moveAsked, (MoveToTrashRequest{"/data/a", 1700000000.25}));
    runTask(client->putBack("/data/.Trash-0/files/a", "/data/a", FileIdentity(7, 99)));
    EXPECT_EQ(putBackAsked, (PutBackRequest{"/data/.Trash-0/files/a", "/data/a", 7, 99}));

    // The tree is dated when it was asked for, not when it arrived.
    const Date before = Clock::now();
    FileTree received = runTask(client->scan("/data"));
    EXPECT_GE(received.scannedAt(), before);
    EXPECT_LE(received.scannedAt(), Clock::now());
    received.setScannedAt(tree.scannedAt());
    EXPECT_EQ(received, tree);
    garbled = true;
    EXPECT_THROW(runTask(client->scan("/data")), FileTree::TransferError);
}

TEST_F(HelperClientTest, ForwardsAStopAsCancelScanWhileProgressIsAnswered) {
    REQUIRE_ROOT("only a root-owned app may use the helper");
    std::optional<uint32_t> held;
    FakeHelper helper([&held](uint32_t id, const HelperRequest& request) -> FakeHelper::Action {
        switch (messageOf(request)) {
        case HelperMessage::scan:
            held = id; // answered when cancelled
            return {};
        case HelperMessage::cancelScan:
            if (!held) return {};
            return reply(*std::exchange(held, std::nullopt), ScanReply{std::nullopt, "cancelled"});
        default:
            return reply(id, ScanProgressReply{held ? 5 : 0, 0, held ? "/x" : ""});
        }
    });
    auto client = makeClient(&helper);
    client->cancelScan();
    EXPECT_TRUE(helper.received().empty()) << "cancelScan makes no connection";

    std::stop_source stop;
    QCoro::Task<FileTree> scan = client->scan("/x", stop.get_token());
    // Two calls outstanding on the one connection: the progress poll is answered meanwhile.
    EXPECT_EQ(runTask(client->progress()).items, 5);
    stop.request_stop();
    EXPECT_THROW(runTask(std::move(scan)), CancellationError);
    EXPECT_EQ(helper.received(), (std::vector<HelperMessage>{HelperMessage::scan, HelperMessage::scanProgress,
                                                             HelperMessage::cancelScan}));
    // A stop asked for before the scan begins still reaches the helper after the scan.
    std::stop_source early;
    early.request_stop();
    EXPECT_THROW(runTask(client->scan("/x", early.get_token())), CancellationError);
    EXPECT_EQ(helper.count(HelperMessage::cancelScan), 2u);
}

TEST_F(HelperClientTest, AHelperThatCannotBeReachedIsAConnectionFailure) {
    REQUIRE_ROOT("only a root-owned app may use the helper");
    // Nothing listens at the socket.
    auto unreachable = makeClient();
    const Failure failure = failureOf(unreachable->hello());
    EXPECT_EQ(failure.kind(), Failure::Case::connection);
    EXPECT_EQ(failure.description().toStdString(),
              "Hollowmere couldn't reach its helper: connect: No such file or directory");

    // A helper that goes away mid-call fails every call waiting on it; the next call connects
    // afresh.
    int hangUps = 1;
    FakeHelper helper([&hangUps](uint32_t id, const HelperRequest& request) -> FakeHelper::Action {
        if (messageOf(request) == HelperMessage::scan) return {};
        if (hangUps > 0 && messageOf(request) == HelperMessage::trashOwner) {
            --hangUps;
            return {{}, true};
        }
        return reply(id, HelloReply{"b", true, false});
    });
    auto client = makeClient(&helper);
    QCoro::Task<FileTree> scan = client->scan("/x");
    EXPECT_EQ(failureOf(client->trashOwner("/x")), Failure::connection("the helper closed the connection"));
    EXPECT_EQ(failureOf(std::move(scan)), Failure::connection("the helper closed the connection"));
    EXPECT_FALSE(client->isConnected());
    EXPECT_EQ(runTask(client->hello()).build, "b");
    EXPECT_EQ(helper.connections(), 2);
}

TEST_F(HelperClientTest, ReplacesAStaleHelper) {
    REQUIRE_ROOT("only a root-owned app may use the helper");
    const std::string expected = BuildString::of(installation.helper());
    const struct {
        const char* what;
        int staleHellos; // hellos answered with an old build before the right one
        size_t hellos;
        size_t quits;
        bool matches;
    } cases[] = {
        {"up to date", 0, 1, 0, true},
        {"back on the third try after the quit", 3, 4, 1, true},
        {"never back", 1000, 32, 1, false},
    };
    for (const auto& c : cases) {
        int stale = c.staleHellos;
        FakeHelper helper([&stale, &expected](uint32_t id, const HelperRequest& request) {
            if (messageOf(request) == HelperMessage::quit) return reply(id, QuitReply{});
            const bool old = stale-- > 0;
            return reply(id, HelloReply{old ? "old" : expected, true, !old});
        });
        auto client = makeClient(&helper);
        const HelperClient::Hello answer = runTask(client->checkHelper());
        EXPECT_EQ(answer.build == expected, c.matches) << c.what;
        EXPECT_EQ(helper.count(HelperMessage::hello), c.hellos) << c.what;
        EXPECT_EQ(helper.count(HelperMessage::quit), c.quits) << c.what;
        EXPECT_EQ(client->helperHasFullDiskAccess(), answer.hasFullDiskAccess) << c.what;
    }
}

TEST_F(HelperClientTest, AStopCutsTheWaitsForAStaleHelperShort) {
    REQUIRE_ROOT("only a root-owned app may use the helper");
    FakeHelper helper([](uint32_t id, const HelperRequest& request) {
        if (messageOf(request) == HelperMessage::quit) return reply(id, QuitReply{});
        return reply(id, HelloReply{"old", true, true});
    });
    HelperClient::Options options;
    options.appExecutable = installation.app();
    options.connect = [&helper] { return helper.connect(); };
    options.restartPause = 1h;
    HelperClient client(std::make_unique<FakeRegistration>(registration), settings, options);
    std::stop_source stop;
    stop.request_stop();
    EXPECT_EQ(runTask(client.checkHelper(stop.get_token()), 20s).build, "old");
    EXPECT_EQ(helper.count(HelperMessage::hello), 32u);
}

TEST_F(HelperClientTest, RemembersFullDiskAccessAcrossRestarts) {
    REQUIRE_ROOT("only a root-owned app may use the helper");
    bool access = true;
    const std::string build = BuildString::of(installation.helper());
    FakeHelper helper([&](uint32_t id, const HelperRequest&) { return reply(id, HelloReply{build, true, access}); });
    {
        auto client = makeClient(&helper);
        EXPECT_EQ(client->helperHasFullDiskAccess(), std::nullopt) << "never learnt";
        QSignalSpy changes(client.get(), &HelperClient::helperHasFullDiskAccessChanged);
        runTask(client->checkHelper());
        runTask(client->checkHelper());
        EXPECT_EQ(client->helperHasFullDiskAccess(), true);
        EXPECT_EQ(changes.count(), 1);
    }
    EXPECT_EQ(settings.boolean(QLatin1String(HelperClient::fullDiskAccessKey)), true);
    access = false;
    auto later = makeClient(&helper);
    EXPECT_EQ(later->helperHasFullDiskAccess(), true) << "known before any handshake";
    runTask(later->checkHelper());
    EXPECT_EQ(makeClient(&helper)->helperHasFullDiskAccess(), false);
    settings.setValue(QLatin1String(HelperClient::fullDiskAccessKey), QStringLiteral("perhaps"));
    EXPECT_EQ(makeClient(&helper)->helperHasFullDiskAccess(), std::nullopt) << "not a boolean";
}

} // namespace
} // namespace hollowmere
