#include "socket_activation.h"

#include <systemd/sd-daemon.h>

#include <cstdlib>

namespace hollowmere {

std::vector<ActivatedSocket> ActivatedSocket::takeAll() {
    char** names = nullptr;
    const int count = ::sd_listen_fds_with_names(1, &names);
    std::vector<ActivatedSocket> sockets;
    for (int i = 0; i < count; ++i) {
        ActivatedSocket socket;
        socket.descriptor = UniqueFd(SD_LISTEN_FDS_START + i);
        socket.name = names && names[i] ? names[i] : "unknown";
        sockets.push_back(std::move(socket));
    }
    if (names) {
        for (int i = 0; i < count; ++i) std::free(names[i]);
        std::free(names);
    }
    return sockets;
}

bool ActivatedSocket::isListeningLocalStream() const {
    return ::sd_is_socket_unix(descriptor.get(), SOCK_STREAM, 1, nullptr, 0) > 0;
}

} // namespace hollowmere
