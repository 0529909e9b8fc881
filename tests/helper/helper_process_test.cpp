// The real helper, started the way systemd starts it, serving its test installation's app.
#include "helper_process.h"

#include "helperlink/build_string.h"
#include "helperlink/failure_words.h"
#include "helperlink/helper_connection.h"
#include "scankit/disk_scanner.h"
#include "scankit/file_identity.h"
#include "support/scratch_volume.h"
#include "support/privileges.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <sched.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <thread>

using hollowmere::test::ScratchVolume;
using namespace hollowmere;
using namespace std::chrono_literals;
using test::HelperProcess;
using test::HelperStart;

namespace {

constexpr uid_t nobody = 65534;
constexpr auto replyTimeout = 60s;
constexpr auto exitTimeout = 30s;
// Folders large enough that a scan of them is still running when the test acts on it; the
// larger one for a scan that must outlast another's.
constexpr const char* largeFolder = "/usr";
constexpr const char* largerFolder = "/";

template <class Reply> Reply call(HelperConnection& connection, const HelperRequest& request) {
    const uint32_t id = connection.send(request);
    const std::optional<HelperReply> reply = connection.waitFor(id, replyTimeout);
    if (!reply) throw std::runtime_error("no reply in time");
    return std::get<Reply>(*reply);
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Polls progress until the scan on `connection` has listed something, so that it is known
// to be running. Replies to other requests that come meanwhile are kept by the connection.
ScanProgressReply waitUntilScanning(HelperConnection& connection) {
    const auto deadline = std::chrono::steady_clock::now() + replyTimeout;
    for (;;) {
        const auto progress = call<ScanProgressReply>(connection, ScanProgressRequest{});
        if (progress.items > 0 && !progress.currentFolder.empty()) return progress;
        if (std::chrono::steady_clock::now() > deadline) throw std::runtime_error("the scan never started");
        std::this_thread::yield();
    }
}

// The connection was closed by the helper: the end comes, and no reply before it.
void expectClosedWithoutReply(HelperConnection& connection) {
    try {
        const std::optional<HelperConnection::Response> response = connection.receive(replyTimeout);
        ADD_FAILURE() << (response ? "a reply came" : "the connection stayed open");
    } catch (const HelperConnection::Error& error) {
        EXPECT_TRUE(contains(error.message(), "closed the connection")) << error.message();
    }
}

// A tmpfs in a mount namespace of this process's own (the helper, started afterwards, shares
// it): a volume of its own for the Trash tests, seen by nobody else, gone with the process.

} // namespace

TEST(HelperProcess, RefusesToStartWithoutItsIdentityOrATrustedInstallation) {
    struct Case {
        const char* what;
        HelperStart start;
        const char* line;
        bool needsRoot; // the identity checks come first and need no trusted installation
    };
    const Case cases[] = {
        {"the app identifier without .helper", {.identity = "org.hollowmere.Hollowmere"}, "no bundle identifier: exiting", false},
        {"another app's helper", {.identity = "org.example.Other.helper"}, "no bundle identifier: exiting", false},
        {"no socket name", {.identity = ""}, "no bundle identifier: exiting", false},
        {"no socket at all", {.handsOverSocket = false}, "no bundle identifier: exiting", false},
        {"identity first", {.identity = "Hollowmere", .helperMode = 0775}, "no bundle identifier: exiting", false},
        {"a helper others may write", {.helperMode = 0775}, "not signed by a team: exiting", false},
        {"a socket that does not listen", {.listens = false}, "no listening socket: exiting", true},
    };
    for (const Case& c : cases) {
        if (c.needsRoot && ::geteuid() != 0) continue;
        HelperProcess helper(c.start);
        EXPECT_EQ(helper.waitForExit(exitTimeout), 1) << c.what;
        const std::string log = helper.log();
        EXPECT_TRUE(contains(log, c.line)) << c.what << ":\n" << log;
        EXPECT_FALSE(contains(log, "started as uid")) << c.what;
    }
}

TEST(HelperProcess, ServesAnAdministratorEveryMessage) {
    REQUIRE_ROOT("the helper admits only a root-owned app");
    test::TempDir data;
    data.mkdir("tree");
    data.mkdir("tree/docs");
    data.mkdir("tree/docs/deep");
    data.mkdir("tree/empty");
    data.write("tree/docs/a", 5000);
    data.write("tree/docs/deep/b", 70000);
    data.write("tree/c", 100);
    data.link("tree/c", "tree/docs/c-again");
    data.symlink("docs", "tree/link");
    const std::string tree = data / "tree";
    // The helper must start inside the namespace that has the scratch volume.
    data.mkdir("volume");
    ScratchVolume volume(data / "volume");

    HelperProcess helper;
    HelperConnection connection = helper.connectAsApp();
    HelperConnection second = helper.connectAsApp();

    const auto hello = call<HelloReply>(connection, HelloRequest{});
    EXPECT_EQ(hello, (HelloReply{BuildString::of(helper.helperPath()), true, true}));
    EXPECT_TRUE(contains(helper.log(), "started as uid 0, build " + hello.build)) << helper.log();
    EXPECT_TRUE(contains(helper.log(), "connection from uid 0, administrator true")) << helper.log();
    EXPECT_EQ(call<ScanProgressReply>(connection, ScanProgressRequest{}), ScanProgressReply{});

    // The tree that comes back is the one an in-process scan makes of the same folder.
    const auto scanned = call<ScanReply>(connection, ScanRequest{tree});
    ASSERT_TRUE(scanned.tree) << scanned.error.value_or("");
    EXPECT_FALSE(scanned.error);
    FileTree received(*scanned.tree);
    const FileTree local = DiskScanner(tree, std::nullopt, 2, false).scan();
    received.setScannedAt(local.scannedAt());
    EXPECT_EQ(received, local);
    EXPECT_EQ(received.count(), 9);
    EXPECT_FALSE(contains(helper.log(), tree)) << "paths stay out of the log";
    EXPECT_TRUE(contains(helper.log(), "scan of <private> for uid 0")) << helper.log();

    // A long scan: progress while it runs, one scan per connection, cancel per connection.
    const uint32_t longScan = connection.send(ScanRequest{largeFolder});
    const uint32_t refused = connection.send(ScanRequest{tree});
    const uint32_t otherScan = second.send(ScanRequest{largerFolder});
    EXPECT_EQ(connection.waitFor(refused, replyTimeout),
              HelperReply(ScanReply{std::nullopt, std::string(FailureWords::anotherScanIsRunning)}));
    const ScanProgressReply progress = waitUntilScanning(connection);
    EXPECT_TRUE(progress.currentFolder.starts_with(largeFolder)) << progress.currentFolder;
    waitUntilScanning(second);
    connection.send(CancelScanRequest{});
    EXPECT_EQ(connection.waitFor(longScan, replyTimeout),
              HelperReply(ScanReply{std::nullopt, std::string(FailureWords::cancelled)}));
    EXPECT_EQ(call<ScanProgressReply>(connection, ScanProgressRequest{}), ScanProgressReply{});
    EXPECT_GT(call<ScanProgressReply>(second, ScanProgressRequest{}).items, 0) << "the other scan runs on";
    second.send(CancelScanRequest{});
    EXPECT_EQ(second.waitFor(otherScan, replyTimeout),
              HelperReply(ScanReply{std::nullopt, std::string(FailureWords::cancelled)}));
    // After its reply the slot is free again.
    EXPECT_TRUE(call<ScanReply>(connection, ScanRequest{tree}).tree);

    // The Trash: another user's item, on a volume of its own, to the administrator's Trash
    // there and back.
    if (!volume.unavailable().empty()) GTEST_SKIP() << volume.unavailable();
    data.mkdir("volume/work");
    data.write("volume/work/item", 3000);
    const std::string item = data / "volume/work/item";
    ASSERT_EQ(::chown(item.c_str(), nobody, nobody), 0);
    const std::optional<FileIdentity> identity = FileIdentity::fromPath(item);
    ASSERT_TRUE(identity);

    EXPECT_EQ(call<TrashOwnerReply>(connection, TrashOwnerRequest{item}),
              (TrashOwnerReply{0, "root", false, std::nullopt}));
    const double future = static_cast<double>(::time(nullptr)) + 3600.0;
    const auto moved = call<MoveToTrashReply>(connection, MoveToTrashRequest{item, future});
    const std::string landed = data / "volume/.Trash-0/files/item";
    EXPECT_EQ(moved, (MoveToTrashReply{landed, 0, identity->device, identity->inode, std::nullopt}));
    EXPECT_EQ(FileIdentity::fromPath(landed), identity);
    EXPECT_TRUE(contains(helper.log(), "moved <private> to the Trash of uid 0 for uid 0")) << helper.log();

    EXPECT_EQ(call<PutBackReply>(connection, PutBackRequest{landed, item, identity->device, identity->inode + 1}),
              PutBackReply{std::string(FailureWords::replaced)});
    EXPECT_EQ(call<PutBackReply>(connection, PutBackRequest{landed, item, identity->device, identity->inode}),
              PutBackReply{});
    EXPECT_EQ(FileIdentity::fromPath(item), identity);
    EXPECT_TRUE(contains(helper.log(), "put back <private> for uid 0")) << helper.log();

    // Failures come back as their words; a "." piece passes the scan's check but not these.
    const std::string dotted = data / "volume/./work/item";
    EXPECT_EQ(call<TrashOwnerReply>(connection, TrashOwnerRequest{dotted}),
              (TrashOwnerReply{-1, std::nullopt, false, std::string(FailureWords::notAnAbsolutePath)}));
    EXPECT_EQ(call<MoveToTrashReply>(connection, MoveToTrashRequest{item, 0.0}),
              (MoveToTrashReply{std::nullopt, -1, 0, 0, std::string(FailureWords::changedSinceScan)}));
    EXPECT_TRUE(contains(helper.log(), "refused to move <private>: made after the scan began")) << helper.log();
    EXPECT_FALSE(contains(helper.log(), item));

    // Every request had exactly one reply, and nothing else comes.
    EXPECT_EQ(connection.outstanding(), 0u);
    EXPECT_FALSE(connection.receive(100ms));
}

TEST(HelperProcess, AnswersOnlyTheOpenMessagesToOtherUsers) {
    REQUIRE_ROOT("the helper admits only a root-owned app");
    HelperProcess helper;
    HelperConnection administrator = helper.connectAsApp();
    HelperConnection user = helper.connectAsApp(nobody);
    EXPECT_TRUE(contains(helper.log(), "connection from uid 65534, administrator false")) << helper.log();

    const std::string word(FailureWords::notAnAdministrator);
    EXPECT_EQ(call<HelloReply>(user, HelloRequest{}), (HelloReply{BuildString::of(helper.helperPath()), false, true}));
    EXPECT_EQ(call<ScanReply>(user, ScanRequest{"/"}), (ScanReply{std::nullopt, word}));
    EXPECT_EQ(call<TrashOwnerReply>(user, TrashOwnerRequest{helper.appPath()}),
              (TrashOwnerReply{-1, std::nullopt, false, word}));
    EXPECT_EQ(call<MoveToTrashReply>(user, MoveToTrashRequest{helper.appPath(), 0.0}),
              (MoveToTrashReply{std::nullopt, -1, 0, 0, word}));
    EXPECT_EQ(call<PutBackReply>(user, PutBackRequest{helper.appPath(), "/x", 1, 2}), PutBackReply{word});
    user.send(CancelScanRequest{});
    EXPECT_EQ(call<ScanProgressReply>(user, ScanProgressRequest{}), ScanProgressReply{});
    EXPECT_TRUE(std::filesystem::exists(helper.appPath())) << "nothing was moved";

    // quit is open to everyone and ends the helper 0.2 s after the reply, although the
    // administrator's connection is still open.
    const auto asked = std::chrono::steady_clock::now();
    EXPECT_EQ(call<QuitReply>(user, QuitRequest{}), QuitReply{});
    EXPECT_EQ(helper.waitForExit(exitTimeout), 0);
    const auto elapsed = std::chrono::steady_clock::now() - asked;
    EXPECT_GE(elapsed, 200ms);
    EXPECT_LT(elapsed, 10s);
    EXPECT_TRUE(contains(helper.log(), "asked to quit by uid 65534")) << helper.log();
}

TEST(HelperProcess, RefusesEveryClientButItsApp) {
    REQUIRE_ROOT("the helper admits only a root-owned app");
    HelperProcess helper;
    const std::string elsewhere = helper.dir() / "elsewhere/hollowmere";
    test::install(helper.appPath(), elsewhere, 0755);

    // This test program itself.
    {
        HelperConnection stranger = HelperConnection::connect(helper.socketPath());
        stranger.send(HelloRequest{});
        expectClosedWithoutReply(stranger);
    }
    // The same program at another place, and the app itself once others may change it.
    EXPECT_EQ(helper.connectThrough(elsewhere).status, 'R');
    ASSERT_EQ(::chmod(helper.appPath().c_str(), 0775), 0);
    EXPECT_EQ(helper.connectThrough(helper.appPath()).status, 'R');
    ASSERT_EQ(::chmod(helper.appPath().c_str(), 0755), 0);

    const std::string log = helper.log();
    size_t refusals = 0;
    for (size_t at = log.find("refused a connection"); at != std::string::npos; at = log.find("refused a connection", at + 1)) {
        ++refusals;
    }
    EXPECT_EQ(refusals, 3u) << log;
    EXPECT_TRUE(contains(log, "refused a connection from uid 0: it is not the app of this installation")) << log;
    EXPECT_TRUE(contains(log, "refused a connection from uid 0: the app of this installation: it is writable by others"))
        << log;
    EXPECT_FALSE(contains(log, helper.dir().path())) << "paths stay out of the log";

    // Refused connections were never counted: the helper still serves its app.
    HelperConnection app = helper.connectAsApp();
    EXPECT_TRUE(call<HelloReply>(app, HelloRequest{}).callerIsAdministrator);
}

TEST(HelperProcess, EndsWhenNoConnectionItAdmitsComes) {
    REQUIRE_ROOT("the helper admits only a root-owned app");
    HelperProcess helper;
    {
        HelperConnection stranger = HelperConnection::connect(helper.socketPath());
        stranger.send(HelloRequest{});
        expectClosedWithoutReply(stranger);
    }
    EXPECT_FALSE(helper.waitForExit(5s)) << "it waits a while for its app";
    EXPECT_EQ(helper.waitForExit(15s), 0);
    EXPECT_TRUE(contains(helper.log(), "no connection for 10 seconds: exiting")) << helper.log();
}

TEST(HelperProcess, EndsWhenTheLastConnectionCloses) {
    REQUIRE_ROOT("the helper admits only a root-owned app");
    HelperProcess helper;
    std::optional<HelperConnection> first = helper.connectAsApp();
    HelperConnection second = helper.connectAsApp();
    first.reset();
    EXPECT_FALSE(helper.waitForExit(500ms)) << "one connection is still open";
    EXPECT_TRUE(call<HelloReply>(second, HelloRequest{}).callerIsAdministrator);
    {
        HelperConnection closing = std::move(second);
    }
    EXPECT_EQ(helper.waitForExit(exitTimeout), 0);
    EXPECT_TRUE(contains(helper.log(), "no connections left: exiting")) << helper.log();
}

TEST(HelperProcess, DropsHostileConnectionsAndServesTheOthers) {
    REQUIRE_ROOT("the helper admits only a root-owned app");
    HelperProcess helper;
    HelperConnection keeper = helper.connectAsApp();

    auto frame = [](uint32_t length, uint8_t message, const std::vector<uint8_t>& fields) {
        std::vector<uint8_t> bytes(9 + fields.size());
        std::memcpy(bytes.data(), &length, 4);
        bytes[4] = 7; // request id
        bytes[8] = message;
        if (!fields.empty()) std::memcpy(bytes.data() + 9, fields.data(), fields.size());
        return bytes;
    };
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        bool thenClose; // the client stops writing after the bytes
        const char* logged;
    };
    const Case cases[] = {
        {"a truncated frame", frame(30, 3, {1, 20, 0, 0, 0, '/'}), true, "the connection ended inside a frame"},
        {"an oversized length", frame(0xffffffffu, 3, {}), false, "over the limit of 65536"},
        {"an unknown message", frame(5, 9, {}), false, "no message numbered 9"},
        {"a number where a path belongs", frame(10, 3, {4, 1, 0, 0, 0}), false, "field 1 is int32, not string"},
        {"a boolean where a path belongs", frame(7, 6, {3, 1}), false, "field 1 is boolean, not string"},
        {"a length below the header", frame(2, 1, {}), false, "a frame of 2 bytes"},
    };
    for (const Case& c : cases) {
        HelperConnection hostile = helper.connectAsApp();
        ASSERT_EQ(::send(hostile.descriptor(), c.bytes.data(), c.bytes.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(c.bytes.size()));
        if (c.thenClose) ::shutdown(hostile.descriptor(), SHUT_WR);
        expectClosedWithoutReply(hostile);
        EXPECT_TRUE(contains(helper.log(), c.logged)) << c.what << ":\n" << helper.log();
        EXPECT_TRUE(call<HelloReply>(keeper, HelloRequest{}).callerIsAdministrator) << c.what;
    }

    // A good request followed by garbage in one write: the good one is answered once, then the
    // connection is dropped.
    HelperConnection mixed = helper.connectAsApp();
    const struct timeval patience {60, 0};
    ASSERT_EQ(::setsockopt(mixed.descriptor(), SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience), 0);
    std::vector<uint8_t> bytes = encodeRequest(41, HelloRequest{}).encoded();
    const std::vector<uint8_t> garbage = frame(5, 0, {});
    bytes.insert(bytes.end(), garbage.begin(), garbage.end());
    ASSERT_EQ(::send(mixed.descriptor(), bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size()));
    FrameReader reader(HelperFrame::maxReplyLength);
    std::vector<uint8_t> chunk(4096);
    ssize_t n;
    while ((n = ::recv(mixed.descriptor(), chunk.data(), chunk.size(), 0)) > 0) {
        reader.feed(std::span<const uint8_t>(chunk.data(), static_cast<size_t>(n)));
    }
    const std::optional<HelperFrame> answer = reader.next();
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->requestId, 41u);
    EXPECT_TRUE(std::get<HelloReply>(decodeReply(*answer)).callerIsAdministrator);
    EXPECT_FALSE(reader.next());
    EXPECT_FALSE(reader.midFrame());

    {
        HelperConnection last = std::move(keeper);
        EXPECT_TRUE(call<HelloReply>(last, HelloRequest{}).callerIsAdministrator);
    }
    EXPECT_EQ(helper.waitForExit(exitTimeout), 0) << "the helper did not crash";
}

TEST(HelperProcess, StopsTheScanOfAClientThatLeaves) {
    REQUIRE_ROOT("the helper admits only a root-owned app");
    HelperProcess helper;
    HelperConnection staying = helper.connectAsApp();
    {
        HelperConnection leaving = helper.connectAsApp();
        leaving.send(ScanRequest{largeFolder});
        waitUntilScanning(leaving);
    }
    // The scanner's threads end although nobody cancelled the scan.
    auto scanning = [&] {
        const std::vector<std::string> names = helper.threadNames();
        return std::any_of(names.begin(), names.end(), [](const std::string& n) { return n.starts_with("Hollowmere"); });
    };
    const auto deadline = std::chrono::steady_clock::now() + replyTimeout;
    while (scanning() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(10ms);
    EXPECT_FALSE(scanning());
    EXPECT_TRUE(call<HelloReply>(staying, HelloRequest{}).callerIsAdministrator);
    {
        HelperConnection last = std::move(staying);
    }
    EXPECT_EQ(helper.waitForExit(exitTimeout), 0);
}
