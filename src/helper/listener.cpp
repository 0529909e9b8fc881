#include "listener.h"

#include "helper_service.h"
#include "service_connection.h"

#include "helperlink/administrator.h"
#include "helperlink/failure_words.h"
#include "helperlink/peer_credentials.h"

#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <memory>
#include <thread>

namespace hollowmere {

namespace {

constexpr auto quitDelay = std::chrono::milliseconds(200);
constexpr auto acceptBackoff = std::chrono::milliseconds(100);
// systemd starts the helper for a waiting connection. One it refused, or none at all, would
// otherwise keep it running as root for good.
constexpr auto idleLimit = std::chrono::seconds(10);

// Whether a connection is waiting or arrives within `limit`.
bool connectionWithin(const UniqueFd& listening, std::chrono::milliseconds limit) {
    struct pollfd watch {listening.get(), POLLIN, 0};
    for (;;) {
        const int ready = ::poll(&watch, 1, static_cast<int>(limit.count()));
        if (ready >= 0) return ready > 0;
        if (errno != EINTR) return true; // let accept report it
    }
}

} // namespace

Listener::Listener(std::string build, Installation installation, HelperLog& log)
    : build_(std::move(build))
    , installation_(std::move(installation))
    , log_(log) {}

void Listener::quitSoon() {
    const auto at = std::chrono::steady_clock::now() + quitDelay;
    std::thread([at] {
        std::this_thread::sleep_until(at);
        ::_exit(0);
    }).detach();
}

void Listener::run(const UniqueFd& listening) {
    for (;;) {
        if (idle() && !connectionWithin(listening, idleLimit)) {
            // A client that connects now waits in the backlog, and systemd starts a new helper
            // for it.
            log_.notice({"no connection for ", std::to_string(idleLimit.count()), " seconds: exiting"});
            ::_exit(0);
        }
        UniqueFd connection(::accept4(listening.get(), nullptr, nullptr, SOCK_CLOEXEC));
        if (connection) {
            accepted(std::move(connection));
            continue;
        }
        if (errno == EINTR || errno == ECONNABORTED) continue;
        // Out of descriptors or memory: give closing connections a moment.
        log_.error({"accept: ", FailureWords::errorText(errno)});
        std::this_thread::sleep_for(acceptBackoff);
    }
}

void Listener::accepted(UniqueFd connection) {
    const std::optional<PeerCredentials> peer = PeerCredentials::of(connection.get());
    if (!peer) {
        log_.notice({"refused a connection: its credentials cannot be read"});
        return;
    }
    if (const std::optional<std::string> refusal = installation_.refusal(connection.get(), *peer)) {
        // Closed without a word: a stranger learns nothing from the helper.
        log_.notice({"refused a connection from uid ", std::to_string(peer->uid), ": ", *refusal});
        return;
    }

    const uint32_t uid = peer->uid;
    const bool administrator = Administrator::test(uid);
    auto channel = std::make_shared<ServiceConnection>(std::move(connection));
    auto service = std::make_shared<HelperService>(
        uid, administrator, build_,
        [channel](uint32_t id, const HelperReply& reply) { channel->send(id, reply); }, log_, &Listener::quitSoon);
    log_.notice({"connection from uid ", std::to_string(uid), ", administrator ", administrator ? "true" : "false"});
    {
        std::lock_guard lock(queue_);
        ++open_;
    }
    try {
        std::thread([this, channel, service = std::move(service), uid]() mutable {
            ::pthread_setname_np(::pthread_self(), "connection");
            const std::optional<std::string> dropped =
                channel->serve([&](uint32_t id, const HelperRequest& request) { service->handle(id, request); });
            if (dropped) log_.notice({"closed the connection from uid ", std::to_string(uid), ": ", *dropped});
            channel->shutDown();
            closed();
            service.reset(); // stops a scan still running for nobody
        }).detach();
    } catch (const std::system_error& error) {
        log_.error({"cannot serve a connection: ", error.what()});
        channel->shutDown();
        closed();
    }
}

bool Listener::idle() {
    std::lock_guard lock(queue_);
    return open_ == 0;
}

void Listener::closed() {
    std::lock_guard lock(queue_);
    if (--open_ == 0) {
        log_.notice({"no connections left: exiting"});
        ::_exit(0);
    }
}

} // namespace hollowmere
