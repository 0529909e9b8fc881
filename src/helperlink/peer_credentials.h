#pragma once

#include <sys/types.h>

#include <optional>

namespace hollowmere {

// Who is at the other end of a connected local socket, as the kernel recorded it when the
// connection was made (SO_PEERCRED): the connecting process for a server, the listening one
// for a client.
struct PeerCredentials {
    pid_t pid = 0;
    uid_t uid = 0;
    gid_t gid = 0;

    // Absent when the socket is not a connected local socket.
    static std::optional<PeerCredentials> of(int socket);
};

} // namespace hollowmere
