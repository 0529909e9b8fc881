#pragma once

#include "helperlink/helper_message.h"

#include "scankit/unique_fd.h"

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <string>

namespace hollowmere {

// The helper's end of one accepted connection: reads requests in order on the thread that
// calls serve(), and writes replies from any thread, one whole frame at a time.
class ServiceConnection {
public:
    using Handler = std::function<void(uint32_t requestId, const HelperRequest& request)>;

    explicit ServiceConnection(UniqueFd socket);

    // Serves requests until the app closes the connection. Returns why the connection was
    // dropped early: bytes that are not a request, or a frame cut off by the end.
    std::optional<std::string> serve(const Handler& handle);

    // Writes one reply. A write that fails, or that the app leaves unread for a minute,
    // shuts the connection down: the reader sees the end and nothing further is written.
    void send(uint32_t requestId, const HelperReply& reply);

    // Ends the connection in both directions; replies still due go nowhere.
    void shutDown();

private:
    // Writes both parts whole; false when the connection failed or stalled.
    bool writeAll(std::span<const uint8_t> head, std::span<const uint8_t> body);

    UniqueFd socket_;
    std::mutex writeMutex_;
    bool broken_ = false; // under writeMutex_
};

} // namespace hollowmere
