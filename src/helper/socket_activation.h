#pragma once

#include "scankit/unique_fd.h"

#include <string>
#include <vector>

namespace hollowmere {

// The sockets systemd hands over when it starts the helper for a connection (LISTEN_FDS,
// LISTEN_PID, LISTEN_FDNAMES from descriptor 3 on). A test or another supervisor can start
// the helper the same way.
struct ActivatedSocket {
    UniqueFd descriptor;
    std::string name; // FileDescriptorName= of the socket unit; "unknown" when none was given

    // The sockets passed to this process, in order; the variables are removed so that no
    // child would take them for its own. Empty when none were passed.
    static std::vector<ActivatedSocket> takeAll();

    // A listening local stream socket, the only kind the helper serves.
    bool isListeningLocalStream() const;
};

} // namespace hollowmere
