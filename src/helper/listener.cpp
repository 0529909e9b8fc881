#include "listener.h"

#include "helper_service.h"
#include "service_connection.h"

#include "helperlink/administrator.h"
#include "helperlink/failure_words.h"
#include "helperlink/peer_credentials.h"

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

void Listener::closed() {
    std::lock_guard lock(queue_);
    if (--open_ == 0) {
        log_.notice({"no connections left: exiting"});
        ::_exit(0);
    }
}

} // namespace hollowmere
