// The app's end of the connection, against fake helpers.
#include "helperlink/helper_connection.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <grp.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

using namespace hollowmere;
using namespace std::chrono_literals;

namespace {

void writeFrame(int fd, const HelperFrame& frame) {
    const std::vector<uint8_t> bytes = frame.encoded();
    ASSERT_EQ(::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size()));
}

// Reads one request frame from the app's side.
HelperFrame readFrame(int fd) {
    FrameReader reader(HelperFrame::maxRequestLength);
    uint8_t byte = 0;
    for (;;) {
        if (std::optional<HelperFrame> frame = reader.next()) return *frame;
        if (::recv(fd, &byte, 1, 0) != 1) throw std::runtime_error("no request");
        reader.feed(std::span<const uint8_t>(&byte, 1));
    }
}

} // namespace

TEST(HelperConnection, RefusesAServerThatIsNotRoot) {
    test::TempDir dir;
    ASSERT_EQ(::chmod(dir.path().c_str(), 0777), 0);
    const std::string path = dir / "helper.socket";
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t server = ::fork();
    ASSERT_GE(server, 0);
    if (server == 0) {
        // An impostor: the same socket, listened on by an ordinary user.
        if (::geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(2);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        struct sockaddr_un address {};
        address.sun_family = AF_UNIX;
        std::strcpy(address.sun_path, path.c_str());
        if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 4) != 0) ::_exit(3);
        (void)!::write(ready[1], "x", 1);
        for (;;) ::pause();
    }
    ::close(ready[1]);
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    ::close(ready[0]);

    std::string error;
    try {
        HelperConnection::connect(path);
    } catch (const HelperConnection::Error& e) {
        error = e.message();
    }
    ::kill(server, SIGKILL);
    ::waitpid(server, nullptr, 0);
    EXPECT_NE(error.find("not running as root"), std::string::npos) << error;
}

TEST(HelperConnection, PairsRepliesWithTheirRequests) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root: the connection accepts only a root peer";
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
    HelperConnection app{UniqueFd(pair[0])};
    const UniqueFd helper(pair[1]);

    const uint32_t hello = app.send(HelloRequest{});
    const uint32_t progress = app.send(ScanProgressRequest{});
    app.send(CancelScanRequest{});
    EXPECT_EQ(app.outstanding(), 2u) << "cancelScan is not answered";
    const HelperFrame first = readFrame(helper.get());
    const HelperFrame second = readFrame(helper.get());
    const HelperFrame third = readFrame(helper.get());
    EXPECT_EQ(first.requestId, hello);
    EXPECT_EQ(decodeRequest(second), HelperRequest(ScanProgressRequest{}));
    EXPECT_EQ(decodeRequest(third), HelperRequest(CancelScanRequest{}));

    // Nothing has come yet.
    EXPECT_TRUE(app.readAvailable().empty());
    EXPECT_FALSE(app.receive(10ms));

    // Answered in the other order: waiting for the first keeps the second for later.
    writeFrame(helper.get(), encodeReply(progress, ScanProgressReply{3, 4, "/x"}));
    writeFrame(helper.get(), encodeReply(hello, HelloReply{"b", true, true}));
    EXPECT_EQ(app.waitFor(hello, 60s), HelperReply(HelloReply{"b", true, true}));
    const std::optional<HelperConnection::Response> kept = app.receive(60s);
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->requestId, progress);
    EXPECT_EQ(kept->reply, HelperReply(ScanProgressReply{3, 4, "/x"}));
    EXPECT_EQ(app.outstanding(), 0u);

    // A second reply to an answered request, or one of another message, is refused.
    const uint32_t quit = app.send(QuitRequest{});
    readFrame(helper.get());
    writeFrame(helper.get(), encodeReply(quit, HelloReply{}));
    EXPECT_THROW(app.receive(60s), HelperConnection::Error);
    EXPECT_THROW(app.send(HelloRequest{}), HelperConnection::Error) << "the connection is unusable after that";
}

TEST(HelperConnection, ReportsTheEndOfTheConnection) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root: the connection accepts only a root peer";
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
    HelperConnection app{UniqueFd(pair[0])};
    std::optional<UniqueFd> helper{UniqueFd(pair[1])};
    const uint32_t id = app.send(HelloRequest{});
    readFrame(helper->get());
    // Half a reply, then the helper is gone.
    const std::vector<uint8_t> bytes = encodeReply(id, HelloReply{"b", true, true}).encoded();
    ASSERT_EQ(::send(helper->get(), bytes.data(), 5, MSG_NOSIGNAL), 5);
    helper.reset();
    try {
        app.waitFor(id, 60s);
        ADD_FAILURE() << "no error";
    } catch (const HelperConnection::Error& error) {
        EXPECT_EQ(error.message(), "the helper closed the connection in the middle of a reply");
    }
}
