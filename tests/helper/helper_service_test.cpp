// HelperService in process: the replies of every message, without a socket or root.
#include "helper/helper_service.h"
#include "helper/scan_time.h"

#include "helperlink/failure_words.h"
#include "scankit/disk_scanner.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <deque>
#include <mutex>

using namespace hollowmere;
using namespace std::chrono_literals;
using Kind = TrashMover::Failure::Kind;

namespace {

// Collects what a service sends, from whichever thread sends it.
class Replies {
public:
    HelperService::Send sink() {
        return [this](uint32_t id, const HelperReply& reply) {
            std::lock_guard lock(mutex_);
            replies_.emplace_back(id, reply);
            arrived_.notify_all();
        };
    }

    // The next reply, waiting up to a minute for one from a scan's thread.
    std::pair<uint32_t, HelperReply> next() {
        std::unique_lock lock(mutex_);
        if (!arrived_.wait_for(lock, 60s, [&] { return !replies_.empty(); })) throw std::runtime_error("no reply");
        auto reply = std::move(replies_.front());
        replies_.pop_front();
        return reply;
    }

    size_t waiting() {
        std::lock_guard lock(mutex_);
        return replies_.size();
    }

private:
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<std::pair<uint32_t, HelperReply>> replies_;
};

// The lines a log writes, in memory.
class LogLines {
public:
    LogLines()
        : stream_(::open_memstream(&data_, &size_)) {}
    ~LogLines() {
        std::fclose(stream_);
        std::free(data_);
    }
    LogLines(const LogLines&) = delete;
    LogLines& operator=(const LogLines&) = delete;

    std::FILE* stream() const { return stream_; }
    std::string text() {
        std::fflush(stream_);
        return std::string(data_, size_);
    }

private:
    char* data_ = nullptr;
    size_t size_ = 0;
    std::FILE* stream_;
};

struct Service {
    explicit Service(bool administrator) {
        service.emplace(4242, administrator, "12-34.5-6", replies.sink(), log, [this] { ++quits; });
    }

    // Handles one request and returns its one reply.
    HelperReply ask(const HelperRequest& request) {
        service->handle(++lastId, request);
        auto [id, reply] = replies.next();
        EXPECT_EQ(id, lastId);
        return reply;
    }

    LogLines lines;
    HelperLog log{"test", lines.stream()};
    Replies replies;
    int quits = 0;
    uint32_t lastId = 0;
    std::optional<HelperService> service; // last: its scan thread uses the members above
};

HelperReply scanError(std::string_view word) { return ScanReply{std::nullopt, std::string(word)}; }

} // namespace

TEST(HelperService, AnswersOtherUsersOnlyTheOpenMessages) {
    Service user(false);
    const std::string word(FailureWords::notAnAdministrator);
    EXPECT_EQ(user.ask(HelloRequest{}), HelperReply(HelloReply{"12-34.5-6", false, true}));
    EXPECT_EQ(user.ask(ScanProgressRequest{}), HelperReply(ScanProgressReply{0, 0, ""}));
    EXPECT_EQ(user.ask(ScanRequest{"/"}), scanError(word));
    EXPECT_EQ(user.ask(TrashOwnerRequest{"/etc/hostname"}), HelperReply(TrashOwnerReply{-1, std::nullopt, false, word}));
    EXPECT_EQ(user.ask(MoveToTrashRequest{"/etc/hostname", 0}), HelperReply(MoveToTrashReply{std::nullopt, -1, 0, 0, word}));
    EXPECT_EQ(user.ask(PutBackRequest{"/a", "/b", 1, 2}), HelperReply(PutBackReply{word}));
    user.service->handle(99, CancelScanRequest{});
    EXPECT_EQ(user.replies.waiting(), 0u) << "cancelScan has no reply";
    EXPECT_EQ(user.ask(QuitRequest{}), HelperReply(QuitReply{}));
    EXPECT_EQ(user.quits, 1);
}

TEST(HelperService, ChecksScanPathsAndReportsScanFailures) {
    test::TempDir dir;
    dir.mkdir("folder");
    dir.symlink("folder", "link");
    dir.write("file");
    Service administrator(true);
    const std::string refused(FailureWords::notAnAbsolutePath);
    struct Case {
        std::string path;
        HelperReply reply;
    };
    const Case cases[] = {
        {"", scanError(refused)},
        {"relative/path", scanError(refused)},
        {"/a/../b", scanError(refused)},
        {"/a/..", scanError(refused)},
        {std::string("/tmp\0/x", 7), scanError(refused)},
        {dir / "missing", scanError(FailureWords::unreadable(ENOENT))},
        {dir / "link", scanError("errno 40: Too many levels of symbolic links")},
        {dir / "file", scanError("errno 20: Not a directory")},
    };
    for (const Case& c : cases) EXPECT_EQ(administrator.ask(ScanRequest{c.path}), c.reply) << c.path;

    // Only ".." is refused: a "." piece is scanned.
    const auto dotted = std::get<ScanReply>(administrator.ask(ScanRequest{dir / "./folder"}));
    ASSERT_TRUE(dotted.tree) << dotted.error.value_or("");
    EXPECT_EQ(FileTree(*dotted.tree).rootPath(), dir / "./folder");
}

TEST(HelperService, RepliesWithTheTreeAndFreesTheSlot) {
    test::TempDir dir;
    dir.mkdir("sub");
    dir.write("sub/file", 9000);
    dir.write("top", 10);
    Service administrator(true);
    for (int round = 0; round < 2; ++round) {
        const auto reply = std::get<ScanReply>(administrator.ask(ScanRequest{dir.path()}));
        ASSERT_TRUE(reply.tree) << reply.error.value_or("");
        EXPECT_FALSE(reply.error);
        FileTree received(*reply.tree);
        const FileTree local = DiskScanner(dir.path(), std::nullopt, 1, false).scan();
        received.setScannedAt(local.scannedAt());
        EXPECT_EQ(received, local);
        // The slot is empty by the time the reply is out.
        EXPECT_EQ(administrator.ask(ScanProgressRequest{}), HelperReply(ScanProgressReply{}));
    }
}

TEST(HelperService, StopsItsScanWhenItsConnectionGoes) {
    Service administrator(true);
    administrator.service->handle(1, ScanRequest{"/usr"});
    // Once progress shows the scan at work, the connection goes away.
    for (;;) {
        administrator.service->handle(2, ScanProgressRequest{});
        auto [id, reply] = administrator.replies.next();
        ASSERT_EQ(id, 2u) << "the scan ended before the test could act";
        if (std::get<ScanProgressReply>(reply).items > 0) break;
    }
    administrator.service.reset();
    const auto [id, reply] = administrator.replies.next();
    EXPECT_EQ(id, 1u);
    EXPECT_EQ(reply, scanError(FailureWords::cancelled));
}

TEST(HelperService, SendsTheWordOfEachTrashFailure) {
    struct Case {
        TrashMover::Failure failure;
        const char* word;
    };
    const Case cases[] = {
        {TrashMover::Failure(Kind::badPath), "not an absolute path"},
        {TrashMover::Failure(Kind::vital), "a folder macOS needs"},
        {TrashMover::Failure(Kind::notInTrash), "not in a Trash"},
        {TrashMover::Failure(Kind::replaced), "not the item that was moved"},
        {TrashMover::Failure(Kind::taken), "something else is there now"},
        {TrashMover::Failure(Kind::folderGone), "its folder is gone"},
        {TrashMover::Failure(Kind::pathChanged), "a link where its folder was"},
        {TrashMover::Failure(Kind::unsafeTrash), "the Trash is not a plain folder"},
        {TrashMover::Failure(Kind::changedSinceScan), "made after the scan began"},
        {TrashMover::Failure::system("rename", 13), "rename: errno 13 (Permission denied)"},
        {TrashMover::Failure::system("no account for uid 1234", 2), "no account for uid 1234: errno 2 (No such file or directory)"},
    };
    for (const Case& c : cases) EXPECT_EQ(HelperService::failureText(c.failure), c.word);
}

TEST(HelperService, AnswersTrashRequestsWithTheMoversFailures) {
    test::TempDir dir;
    dir.mkdir("folder");
    dir.symlink("folder", "link");
    dir.write("folder/item");
    Service administrator(true);
    struct Case {
        std::string path;
        std::string word;
    };
    const Case cases[] = {
        {"relative", "not an absolute path"},
        {dir / "folder/./item", "not an absolute path"},
        {dir / "gone/item", "its folder is gone"},
        {dir / "link/item", "a link where its folder was"},
        {dir / "folder/missing", "lstat: errno 2 (No such file or directory)"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(administrator.ask(TrashOwnerRequest{c.path}), HelperReply(TrashOwnerReply{-1, std::nullopt, false, c.word}))
            << c.path;
        EXPECT_EQ(administrator.ask(MoveToTrashRequest{c.path, 1e12}),
                  HelperReply(MoveToTrashReply{std::nullopt, -1, 0, 0, c.word}))
            << c.path;
        EXPECT_EQ(administrator.ask(PutBackRequest{c.path, dir / "folder/back", 1, 2}), HelperReply(PutBackReply{c.word}))
            << c.path;
    }
    // Refusals are logged with the reason and without the path.
    const std::string log = administrator.lines.text();
    EXPECT_NE(log.find("refused to move <private>: a link where its folder was"), std::string::npos) << log;
    EXPECT_NE(log.find("refused to put back <private>: its folder is gone"), std::string::npos) << log;
    EXPECT_EQ(log.find(dir.path()), std::string::npos) << log;
}

TEST(ScanTime, SplitsSecondsAsTheMoverComparesThem) {
    struct Case {
        double seconds;
        int64_t whole;
        long nanoseconds;
    };
    const Case cases[] = {
        {1700000000.25, 1700000000, 250000000},
        {0.5, 0, 500000000},
        {-1.25, -2, 750000000},
        {42.0, 42, 0},
        {1e300, INT64_MAX, 999999999},
        {-1e300, INT64_MIN, 0},
        {std::numeric_limits<double>::infinity(), INT64_MAX, 999999999},
        {std::numeric_limits<double>::quiet_NaN(), INT64_MIN, 0},
    };
    for (const Case& c : cases) {
        const struct timespec time = ScanTime::fromSeconds(c.seconds);
        EXPECT_EQ(time.tv_sec, c.whole) << c.seconds;
        EXPECT_EQ(time.tv_nsec, c.nanoseconds) << c.seconds;
    }
}
