#include "service_connection.h"

#include <sys/socket.h>
#include <sys/uio.h>

#include <algorithm>
#include <cerrno>
#include <vector>

namespace hollowmere {

namespace {

constexpr size_t readChunk = 16 * 1024;
constexpr time_t stalledWriteSeconds = 60;

} // namespace

ServiceConnection::ServiceConnection(UniqueFd socket)
    : socket_(std::move(socket)) {
    const struct timeval stalled {stalledWriteSeconds, 0};
    ::setsockopt(socket_.get(), SOL_SOCKET, SO_SNDTIMEO, &stalled, sizeof stalled);
}

std::optional<std::string> ServiceConnection::serve(const Handler& handle) {
    FrameReader reader(HelperFrame::maxRequestLength);
    std::vector<uint8_t> chunk(readChunk);
    for (;;) {
        const ssize_t n = ::recv(socket_.get(), chunk.data(), chunk.size(), 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0 && reader.midFrame()) return "the connection ended inside a frame";
            return std::nullopt;
        }
        reader.feed(std::span<const uint8_t>(chunk.data(), static_cast<size_t>(n)));
        try {
            while (std::optional<HelperFrame> frame = reader.next()) {
                handle(frame->requestId, decodeRequest(*frame));
            }
        } catch (const FrameError& error) {
            return error.message();
        }
    }
}

void ServiceConnection::send(uint32_t requestId, const HelperReply& reply) {
    std::lock_guard lock(writeMutex_);
    if (broken_) return;
    bool written = false;
    try {
        const HelperFrame frame = encodeReply(requestId, reply);
        const auto header = frame.header();
        written = writeAll(header, frame.fields);
    } catch (const std::exception&) {
        // A reply that cannot be encoded (out of memory, over the frame limit) is not sent.
    }
    if (!written) {
        // Part of a frame may be out: nothing after it could be read in step.
        broken_ = true;
        ::shutdown(socket_.get(), SHUT_RDWR);
    }
}

bool ServiceConnection::writeAll(std::span<const uint8_t> head, std::span<const uint8_t> body) {
    struct iovec parts[2] = {
        {const_cast<uint8_t*>(head.data()), head.size()},
        {const_cast<uint8_t*>(body.data()), body.size()},
    };
    size_t first = 0; // the first part not yet fully written
    while (first < 2) {
        struct msghdr message {};
        message.msg_iov = parts + first;
        message.msg_iovlen = 2 - first;
        const ssize_t n = ::sendmsg(socket_.get(), &message, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false; // gone, or stalled past the send timeout
        size_t left = static_cast<size_t>(n);
        for (; first < 2; ++first) {
            const size_t step = std::min(left, parts[first].iov_len);
            parts[first].iov_base = static_cast<uint8_t*>(parts[first].iov_base) + step;
            parts[first].iov_len -= step;
            left -= step;
            if (parts[first].iov_len > 0) break;
        }
    }
    return true;
}

void ServiceConnection::shutDown() { ::shutdown(socket_.get(), SHUT_RDWR); }

} // namespace hollowmere
