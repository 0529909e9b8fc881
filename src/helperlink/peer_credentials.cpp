#include "peer_credentials.h"

#include <sys/socket.h>

namespace hollowmere {

std::optional<PeerCredentials> PeerCredentials::of(int socket) {
    struct ucred credentials {};
    socklen_t size = sizeof credentials;
    if (::getsockopt(socket, SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0 || size != sizeof credentials) {
        return std::nullopt;
    }
    return PeerCredentials{credentials.pid, credentials.uid, credentials.gid};
}

} // namespace hollowmere
