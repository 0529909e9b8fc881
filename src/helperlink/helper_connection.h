#pragma once

#include "helper_frame.h"
#include "helper_message.h"
#include "service_names.h"

#include "scankit/unique_fd.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <exception>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace hollowmere {

// The app's end of one connection to the helper: sends requests, collects the replies by
// request id. It blocks only where asked to (receive, waitFor); an event loop can instead
// watch descriptor() and call readAvailable() when it is readable. One thread at a time.
class HelperConnection {
public:
    // The connection cannot be used: it was refused, it ended, or the helper sent something
    // that is not a reply to an outstanding request.
    class Error : public std::exception {
    public:
        explicit Error(std::string message)
            : message_(std::move(message)) {}
        const std::string& message() const { return message_; }
        const char* what() const noexcept override { return message_.c_str(); }

    private:
        std::string message_;
    };

    struct Response {
        uint32_t requestId = 0;
        HelperReply reply;
    };

    // Connects to the helper's socket. Only a server running as root is accepted.
    static HelperConnection connect(const std::string& socketPath = ServiceNames::socketPath());
    // Takes over a socket that is already connected, with the same check.
    explicit HelperConnection(UniqueFd socket);

    HelperConnection(HelperConnection&&) = default;
    HelperConnection& operator=(HelperConnection&&) = default;

    int descriptor() const { return socket_.get(); }

    // Writes the request and returns its id; its reply is expected unless it is cancelScan.
    uint32_t send(const HelperRequest& request);

    // The next reply, in the order they arrive; absent when `timeout` passes first (no
    // timeout: wait as long as it takes).
    std::optional<Response> receive(std::optional<std::chrono::milliseconds> timeout = std::nullopt);
    // The reply to one request. Replies to others that arrive first are kept for later.
    std::optional<HelperReply> waitFor(uint32_t requestId,
                                       std::optional<std::chrono::milliseconds> timeout = std::nullopt);
    // Without blocking: reads what has arrived and returns the replies it completes.
    std::vector<Response> readAvailable();

    // Requests sent whose replies have not arrived.
    size_t outstanding() const { return pending_.size(); }

private:
    using Deadline = std::optional<std::chrono::steady_clock::time_point>;

    // Reads once, waiting until the deadline; false when it passed with nothing to read.
    bool readOnce(Deadline deadline);
    void take(HelperFrame frame);

    UniqueFd socket_;
    FrameReader reader_{HelperFrame::maxReplyLength};
    std::vector<uint8_t> chunk_; // one read's worth
    std::map<uint32_t, HelperMessage> pending_;
    std::deque<Response> ready_;
    uint32_t nextId_ = 1;
    bool ended_ = false;
};

} // namespace hollowmere
