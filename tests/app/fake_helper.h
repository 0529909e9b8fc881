#pragma once

#include "helperlink/helper_connection.h"
#include "helperlink/helper_message.h"

#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace hollowmere::test {

// Stands in for the helper inside the test process: every connection is one end of a socket
// pair, served on a thread of its own, and each request is answered by the test's function
// (called under one lock, so it needs none of its own).
class FakeHelper {
public:
    struct Sent {
        uint32_t requestId = 0;
        HelperReply reply;
    };
    // What to do about one request: replies to send (to it or to requests held earlier), or
    // hang up without a word.
    struct Action {
        std::vector<Sent> replies;
        bool hangUp = false;
    };
    using Answer = std::function<Action(uint32_t requestId, const HelperRequest& request)>;

    explicit FakeHelper(Answer answer);
    ~FakeHelper();
    FakeHelper(const FakeHelper&) = delete;
    FakeHelper& operator=(const FakeHelper&) = delete;

    // A new connection, as HelperClient::Options::connect makes them.
    HelperConnection connect();

    // The messages received so far, in order, over all connections.
    std::vector<HelperMessage> received() const;
    size_t count(HelperMessage message) const;
    int connections() const;

private:
    void serve(int socket);

    Answer answer_;
    mutable std::mutex mutex_;
    std::vector<HelperMessage> received_;
    std::vector<int> sockets_;
    std::vector<std::thread> threads_;
};

} // namespace hollowmere::test
