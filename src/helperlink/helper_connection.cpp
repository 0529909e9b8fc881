#include "helper_connection.h"

#include "peer_credentials.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

namespace hollowmere {

namespace {

constexpr size_t readChunk = 256 * 1024;

std::string systemError(const char* what) {
    return std::string(what) + ": " + std::generic_category().message(errno);
}

void writeAll(int fd, const uint8_t* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw HelperConnection::Error(systemError("send"));
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
}

} // namespace

HelperConnection HelperConnection::connect(const std::string& socketPath) {
    struct sockaddr_un address {};
    address.sun_family = AF_UNIX;
    if (socketPath.empty() || socketPath.size() >= sizeof address.sun_path) {
        throw Error("no socket can have the path " + socketPath);
    }
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
    UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd) throw Error(systemError("socket"));
    while (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        if (errno != EINTR) throw Error(systemError("connect"));
    }
    return HelperConnection(std::move(fd));
}

HelperConnection::HelperConnection(UniqueFd socket)
    : socket_(std::move(socket)) {
    const std::optional<PeerCredentials> peer = PeerCredentials::of(socket_.get());
    if (!peer) throw Error("not a connected local socket");
    // Only root can listen where the helper listens; anything else is an impostor.
    if (peer->uid != 0) throw Error("the helper is not running as root (uid " + std::to_string(peer->uid) + ")");
}

uint32_t HelperConnection::send(const HelperRequest& request) {
    if (ended_) throw Error("the helper closed the connection");
    while (nextId_ == 0 || pending_.contains(nextId_)) ++nextId_;
    const uint32_t id = nextId_++;
    const HelperMessage message = messageOf(request);
    const std::vector<uint8_t> bytes = encodeRequest(id, request).encoded();
    if (expectsReply(message)) pending_.emplace(id, message);
    try {
        writeAll(socket_.get(), bytes.data(), bytes.size());
    } catch (...) {
        // Part of the frame may be out: nothing further could be read in step.
        pending_.erase(id);
        ended_ = true;
        throw;
    }
    return id;
}

void HelperConnection::take(HelperFrame frame) {
    const auto asked = pending_.find(frame.requestId);
    if (asked == pending_.end() || static_cast<uint8_t>(asked->second) != frame.message) {
        throw Error("a reply nobody asked for (request " + std::to_string(frame.requestId) + ", message " +
                    std::to_string(frame.message) + ")");
    }
    try {
        ready_.push_back(Response{frame.requestId, decodeReply(frame)});
    } catch (const FrameError& error) {
        throw Error("a malformed reply: " + error.message());
    }
    pending_.erase(asked);
}

bool HelperConnection::readOnce(Deadline deadline) {
    if (ended_) throw Error("the helper closed the connection");
    for (;;) {
        int wait = -1;
        if (deadline) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - std::chrono::steady_clock::now());
            wait = static_cast<int>(std::clamp<int64_t>(left.count(), 0, 1 << 30));
        }
        struct pollfd watch {socket_.get(), POLLIN, 0};
        const int ready = ::poll(&watch, 1, wait);
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) throw Error(systemError("poll"));
        if (ready == 0) return false;
        break;
    }
    chunk_.resize(readChunk);
    ssize_t n;
    do {
        n = ::recv(socket_.get(), chunk_.data(), chunk_.size(), MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
    if (n < 0 && errno != ECONNRESET) {
        ended_ = true;
        throw Error(systemError("recv"));
    }
    // A reset is the helper closing with our requests unread.
    if (n <= 0) {
        ended_ = true;
        throw Error(reader_.midFrame() ? "the helper closed the connection in the middle of a reply"
                                       : "the helper closed the connection");
    }
    reader_.feed(std::span<const uint8_t>(chunk_.data(), static_cast<size_t>(n)));
    try {
        while (std::optional<HelperFrame> frame = reader_.next()) take(std::move(*frame));
    } catch (const FrameError& error) {
        ended_ = true;
        throw Error("a malformed reply: " + error.message());
    } catch (const Error&) {
        ended_ = true;
        throw;
    }
    return true;
}

std::optional<HelperConnection::Response> HelperConnection::receive(std::optional<std::chrono::milliseconds> timeout) {
    Deadline deadline;
    if (timeout) deadline = std::chrono::steady_clock::now() + *timeout;
    while (ready_.empty()) {
        if (!readOnce(deadline)) return std::nullopt;
    }
    Response response = std::move(ready_.front());
    ready_.pop_front();
    return response;
}

std::optional<HelperReply> HelperConnection::waitFor(uint32_t requestId, std::optional<std::chrono::milliseconds> timeout) {
    Deadline deadline;
    if (timeout) deadline = std::chrono::steady_clock::now() + *timeout;
    for (;;) {
        const auto found = std::find_if(ready_.begin(), ready_.end(),
                                        [&](const Response& r) { return r.requestId == requestId; });
        if (found != ready_.end()) {
            HelperReply reply = std::move(found->reply);
            ready_.erase(found);
            return reply;
        }
        if (!pending_.contains(requestId)) throw Error("no reply is due for request " + std::to_string(requestId));
        if (!readOnce(deadline)) return std::nullopt;
    }
}

std::vector<HelperConnection::Response> HelperConnection::readAvailable() {
    // One read per call: an event loop calls again while the descriptor stays readable. Replies
    // that came before the end are handed out first; the next call reports the end.
    try {
        readOnce(std::chrono::steady_clock::now());
    } catch (const Error&) {
        if (ready_.empty()) throw;
    }
    std::vector<Response> responses(std::make_move_iterator(ready_.begin()), std::make_move_iterator(ready_.end()));
    ready_.clear();
    return responses;
}

} // namespace hollowmere
