#include "fake_helper.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

namespace hollowmere::test {

FakeHelper::FakeHelper(Answer answer)
    : answer_(std::move(answer)) {}

FakeHelper::~FakeHelper() {
    {
        std::lock_guard lock(mutex_);
        for (int socket : sockets_)
            ::shutdown(socket, SHUT_RDWR);
    }
    for (std::thread& thread : threads_)
        thread.join();
    for (int socket : sockets_)
        ::close(socket);
}

HelperConnection FakeHelper::connect() {
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) throw std::runtime_error("socketpair");
    {
        std::lock_guard lock(mutex_);
        sockets_.push_back(pair[1]);
    }
    threads_.emplace_back(&FakeHelper::serve, this, pair[1]);
    return HelperConnection(UniqueFd(pair[0]));
}

std::vector<HelperMessage> FakeHelper::received() const {
    std::lock_guard lock(mutex_);
    return received_;
}

size_t FakeHelper::count(HelperMessage message) const {
    std::lock_guard lock(mutex_);
    return static_cast<size_t>(std::count(received_.begin(), received_.end(), message));
}

int FakeHelper::connections() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(sockets_.size());
}

void FakeHelper::serve(int socket) {
    FrameReader reader(HelperFrame::maxRequestLength);
    std::vector<uint8_t> chunk(64 * 1024);
    for (;;) {
        const ssize_t n = ::recv(socket, chunk.data(), chunk.size(), 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        reader.feed(std::span<const uint8_t>(chunk.data(), static_cast<size_t>(n)));
        while (std::optional<HelperFrame> frame = reader.next()) {
            const HelperRequest request = decodeRequest(*frame);
            Action action;
            {
                std::lock_guard lock(mutex_);
                received_.push_back(messageOf(request));
                action = answer_(frame->requestId, request);
            }
            if (action.hangUp) {
                ::shutdown(socket, SHUT_RDWR);
                return;
            }
            for (const Sent& sent : action.replies) {
                const std::vector<uint8_t> bytes = encodeReply(sent.requestId, sent.reply).encoded();
                if (::send(socket, bytes.data(), bytes.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(bytes.size()))
                    return;
            }
        }
    }
}

} // namespace hollowmere::test
