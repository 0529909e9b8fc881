#include "helper_channel.h"

#include <utility>
#include <vector>

namespace hollowmere {

HelperChannel::HelperChannel(HelperConnection connection, QObject* parent)
    : QObject(parent)
    , connection_(std::move(connection))
    , notifier_(connection_.descriptor(), QSocketNotifier::Read) {
    connect(&notifier_, &QSocketNotifier::activated, this, &HelperChannel::readReplies);
}

HelperChannel::~HelperChannel() = default;

bool HelperChannel::Reply::await_suspend(std::coroutine_handle<> caller) {
    if (!channel_ || !channel_->open_) {
        error_ = "the connection was closed";
        return false;
    }
    caller_ = caller;
    channel_->waiting_.emplace(id_, this);
    return true;
}

HelperChannel::Outcome HelperChannel::Reply::await_resume() {
    if (error_) return {std::nullopt, std::move(*error_)};
    return {std::move(reply_), {}};
}

HelperChannel::Reply HelperChannel::request(const HelperRequest& request) {
    if (!open_) return Reply(std::string("the connection was closed"));
    try {
        return Reply(this, connection_.send(request));
    } catch (const HelperConnection::Error& error) {
        close(error.message());
        return Reply(error.message());
    }
}

void HelperChannel::post(const HelperRequest& request) {
    if (!open_) return;
    try {
        connection_.send(request);
    } catch (const HelperConnection::Error& error) {
        close(error.message());
    }
}

void HelperChannel::close(const std::string& why) {
    if (!open_) return;
    open_ = false;
    notifier_.setEnabled(false);
    // Taken out first: a resumed caller may send again or close once more.
    std::map<uint32_t, Reply*> waiting = std::exchange(waiting_, {});
    for (auto& [id, reply] : waiting) {
        reply->error_ = why;
        reply->caller_.resume();
    }
    Q_EMIT closed();
}

void HelperChannel::readReplies() {
    std::vector<HelperConnection::Response> responses;
    try {
        responses = connection_.readAvailable();
    } catch (const HelperConnection::Error& error) {
        close(error.message());
        return;
    }
    for (HelperConnection::Response& response : responses) {
        // A caller resumed before may have closed the channel, failing the others already.
        const auto found = waiting_.find(response.requestId);
        if (found == waiting_.end()) continue;
        Reply* reply = found->second;
        waiting_.erase(found);
        reply->reply_ = std::move(response.reply);
        reply->caller_.resume();
    }
}

} // namespace hollowmere
