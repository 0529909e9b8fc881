#pragma once

#include "helperlink/helper_connection.h"

#include <QObject>
#include <QPointer>
#include <QSocketNotifier>

#include <coroutine>
#include <map>
#include <optional>
#include <string>

namespace hollowmere {

// One connection to the helper on the main thread's event loop. Each request is written at
// once and its caller suspended until the reply with its id arrives, so any number of calls
// can be outstanding. When the connection ends, every waiting caller is resumed with the
// reason, exactly once.
class HelperChannel : public QObject {
    Q_OBJECT

public:
    explicit HelperChannel(HelperConnection connection, QObject* parent = nullptr);
    // Callers still waiting are abandoned, not resumed: the owner is going away with them.
    ~HelperChannel() override;

    // What `co_await request(...)` yields: the reply, or why there is none.
    struct Outcome {
        std::optional<HelperReply> reply;
        std::string error;
    };
    class Reply {
    public:
        bool await_ready() const noexcept { return reply_.has_value() || error_.has_value(); }
        bool await_suspend(std::coroutine_handle<> caller);
        Outcome await_resume();

    private:
        friend class HelperChannel;
        Reply(HelperChannel* channel, uint32_t id)
            : channel_(channel)
            , id_(id) {}
        explicit Reply(std::string error)
            : error_(std::move(error)) {}

        QPointer<HelperChannel> channel_;
        uint32_t id_ = 0;
        std::coroutine_handle<> caller_;
        std::optional<HelperReply> reply_;
        std::optional<std::string> error_;
    };

    bool isOpen() const { return open_; }

    // Sends a request that has a reply.
    Reply request(const HelperRequest& request);
    // Sends a request without a reply (cancelScan); a connection that fails is closed quietly.
    void post(const HelperRequest& request);

    // Ends the connection: waiting callers get `why`, and closed() is emitted.
    void close(const std::string& why);

Q_SIGNALS:
    // The connection ended, by close() or because the helper went away.
    void closed();

private:
    void readReplies();

    HelperConnection connection_;
    QSocketNotifier notifier_;
    std::map<uint32_t, Reply*> waiting_;
    bool open_ = true;
};

} // namespace hollowmere
