#pragma once

#include "helper_log.h"
#include "installation.h"

#include "scankit/unique_fd.h"

#include <mutex>
#include <string>

namespace hollowmere {

// Accepts connections on the listening socket, admits only the app of this installation,
// and serves each admitted one on a thread of its own with a HelperService. It counts the
// open connections and ends the process (status 0) when the last one closes, or when none has
// been admitted and none comes for a while.
class Listener {
public:
    Listener(std::string build, Installation installation, HelperLog& log);
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;

    // Accepts until the process ends; never returns.
    [[noreturn]] void run(const UniqueFd& listening);

    // Ends the process with status 0 about 0.2 seconds from now, whatever is open then.
    static void quitSoon();

private:
    void accepted(UniqueFd connection);
    void closed();
    bool idle();

    const std::string build_;
    long open_ = 0;   // accepted connections not yet closed; only under queue_
    std::mutex queue_; // "connections": every change of open_ and the exit decision
    const Installation installation_;
    HelperLog& log_;
};

} // namespace hollowmere
