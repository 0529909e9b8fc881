#include "installation.h"

#include "helperlink/install_layout.h"
#include "scankit/unique_fd.h"

#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

#ifndef SO_PEERPIDFD
#define SO_PEERPIDFD 77 // Linux 6.5; older headers lack it
#endif

namespace hollowmere {

namespace {

// A process descriptor of the peer: the one the kernel pinned at connect time where it
// offers it (SO_PEERPIDFD), else one opened now from the pid (pidfd_open).
UniqueFd peerProcess(int socket, pid_t pid) {
    int pidfd = -1;
    socklen_t size = sizeof pidfd;
    if (::getsockopt(socket, SOL_SOCKET, SO_PEERPIDFD, &pidfd, &size) == 0 && pidfd >= 0) return UniqueFd(pidfd);
#ifdef SYS_pidfd_open
    return UniqueFd(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
#else
    (void)pid;
    return UniqueFd();
#endif
}

bool stillRunning(const UniqueFd& process) {
#ifdef SYS_pidfd_send_signal
    return ::syscall(SYS_pidfd_send_signal, process.get(), 0, nullptr, 0) == 0;
#else
    (void)process;
    return true;
#endif
}

} // namespace

Installation::Installation(std::string helperExecutable)
    : helper_(std::move(helperExecutable))
    , app_(InstallLayout::appOf(helper_)) {}

std::optional<std::string> Installation::helperProblem() const {
    if (const std::optional<std::string> problem = InstallLayout::unsafeFile(helper_)) return "the helper: " + *problem;
    return std::nullopt;
}

std::optional<std::string> Installation::refusal(int socket, const PeerCredentials& peer) const {
    const UniqueFd process = peerProcess(socket, peer.pid);
    // The kernel resolves /proc/<pid>/exe to the image the process runs, even when its file
    // was renamed or replaced since.
    struct stat running {};
    if (::stat(("/proc/" + std::to_string(peer.pid) + "/exe").c_str(), &running) != 0) {
        return "its program cannot be examined";
    }
    if (process && !stillRunning(process)) return "it ended before it could be checked";
    if (const std::optional<std::string> problem = InstallLayout::unsafeFile(app_))
        return "the app of this installation: " + *problem;
    struct stat app {};
    if (::stat(app_.c_str(), &app) != 0) return "the app of this installation cannot be examined";
    if (running.st_dev != app.st_dev || running.st_ino != app.st_ino) return "it is not the app of this installation";
    return std::nullopt;
}

} // namespace hollowmere
