// The "app" of a test installation. The helper admits only the program installed as the app,
// so the tests run this one there: it connects to the socket named by its argument, makes
// sure the helper answers, and hands the connected socket over descriptor 3 (SCM_RIGHTS) to
// the test, which carries on with it. The status byte before it says what happened:
// 'A' answered (the socket follows), 'R' closed without an answer, 'E' could not connect.
#include "helperlink/helper_connection.h"

#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>

using namespace hollowmere;

namespace {

constexpr int controlDescriptor = 3;

int report(char status, int passed) {
    struct iovec byte {&status, 1};
    struct msghdr message {};
    message.msg_iov = &byte;
    message.msg_iovlen = 1;
    alignas(struct cmsghdr) char space[CMSG_SPACE(sizeof(int))] = {};
    if (passed >= 0) {
        message.msg_control = space;
        message.msg_controllen = sizeof space;
        struct cmsghdr* header = CMSG_FIRSTHDR(&message);
        header->cmsg_level = SOL_SOCKET;
        header->cmsg_type = SCM_RIGHTS;
        header->cmsg_len = CMSG_LEN(sizeof(int));
        std::memcpy(CMSG_DATA(header), &passed, sizeof(int));
    }
    return ::sendmsg(controlDescriptor, &message, MSG_NOSIGNAL) == 1 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s SOCKET (with the control socket on descriptor 3)\n", argv[0]);
        return 2;
    }
    std::optional<HelperConnection> connection;
    try {
        connection.emplace(HelperConnection::connect(argv[1]));
    } catch (const HelperConnection::Error& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return report('E', -1);
    }
    try {
        const uint32_t hello = connection->send(HelloRequest{});
        if (!connection->waitFor(hello, std::chrono::seconds(60))) return report('R', -1);
    } catch (const HelperConnection::Error&) {
        return report('R', -1);
    }
    return report('A', connection->descriptor());
}
