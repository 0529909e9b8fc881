#include "installation.h"

#include "scankit/unique_fd.h"

#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>

#ifndef SO_PEERPIDFD
#define SO_PEERPIDFD 77 // Linux 6.5; older headers lack it
#endif

namespace hollowmere {

namespace {

// From the helper's folder to the app, fixed by the install layout (CMake).
constexpr const char* helperToApp = HOLLOWMERE_HELPER_TO_APP;

bool writableByOthers(const struct stat& status) { return (status.st_mode & (S_IWGRP | S_IWOTH)) != 0; }

// Every folder above `real` (an absolute path without links) must be root's and closed to
// others' writes, or a root-owned sticky folder.
std::optional<std::string> unsafeFolders(const std::filesystem::path& real) {
    for (std::filesystem::path folder = real.parent_path();; folder = folder.parent_path()) {
        struct stat status {};
        if (::lstat(folder.c_str(), &status) != 0) return "a folder above it cannot be examined";
        if (!S_ISDIR(status.st_mode)) return "a folder above it is not a folder";
        if (status.st_uid != 0) return "a folder above it does not belong to root";
        if (writableByOthers(status) && (status.st_mode & S_ISVTX) == 0) {
            return "a folder above it is writable by others";
        }
        if (folder == folder.root_path()) return std::nullopt;
    }
}

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

std::optional<std::string> Installation::ownExecutable() {
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer);
    if (n <= 0 || static_cast<size_t>(n) >= sizeof buffer) return std::nullopt;
    return std::string(buffer, static_cast<size_t>(n));
}

Installation::Installation(std::string helperExecutable)
    : helper_(std::move(helperExecutable))
    , app_((std::filesystem::path(helper_).parent_path() / helperToApp).lexically_normal().string()) {}

std::optional<std::string> Installation::unsafeFile(const std::string& path) {
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (!resolved) return "it cannot be found";
    const std::filesystem::path real(resolved);
    std::free(resolved);
    struct stat status {};
    if (::lstat(real.c_str(), &status) != 0) return "it cannot be examined";
    if (!S_ISREG(status.st_mode)) return "it is not a regular file";
    if (status.st_uid != 0) return "it does not belong to root";
    if (writableByOthers(status)) return "it is writable by others";
    return unsafeFolders(real);
}

std::optional<std::string> Installation::helperProblem() const {
    if (const std::optional<std::string> problem = unsafeFile(helper_)) return "the helper: " + *problem;
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
    if (const std::optional<std::string> problem = unsafeFile(app_)) return "the app of this installation: " + *problem;
    struct stat app {};
    if (::stat(app_.c_str(), &app) != 0) return "the app of this installation cannot be examined";
    if (running.st_dev != app.st_dev || running.st_ino != app.st_ino) return "it is not the app of this installation";
    return std::nullopt;
}

} // namespace hollowmere
