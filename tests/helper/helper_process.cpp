#include "helper_process.h"

#include "helper/installation.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace hollowmere::test {

namespace {

constexpr int listenDescriptor = 3;
constexpr auto clientTimeout = std::chrono::seconds(60);

void check(bool ok, const std::string& what) {
    if (!ok) throw std::runtime_error(what + ": " + std::strerror(errno));
}

// Places `fd` at `at` for a program about to be executed: dup2 clears close-on-exec, and when
// it is already there the flag is cleared by hand. Async-signal-safe, for forked children.
bool placeAt(int fd, int at) {
    if (fd == at) return ::fcntl(at, F_SETFD, 0) == 0;
    return ::dup2(fd, at) == at;
}

// Decimal digits of a non-negative number into `out`, for a forked child that may not
// allocate.
void writeNumber(char* out, long value) {
    char digits[24];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value > 0);
    while (n > 0)
        *out++ = digits[--n];
    *out = '\0';
}

} // namespace

std::string testClientPath() {
    return HOLLOWMERE_TEST_CLIENT;
}

void install(const std::string& from, const std::string& to, mode_t mode) {
    std::filesystem::create_directories(std::filesystem::path(to).parent_path());
    std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
    check(::chmod(to.c_str(), mode) == 0, "chmod " + to);
}

HelperProcess::HelperProcess(const HelperStart& start)
    : start_(start) {
    // Other users must reach the socket and the app (the non-administrator tests).
    check(::chmod(dir_.path().c_str(), 0755) == 0, "chmod");
    helper_ = dir_ / "libexec/hollowmere-helper";
    install(HOLLOWMERE_HELPER, helper_, start.helperMode);
    app_ = Installation(helper_).app();
    install(testClientPath(), app_, 0755);
    dir_.mkdir("run");
    socket_ = dir_ / "run/helper.socket";
    logPath_ = dir_ / "helper.log";
    check(::close(::open(logPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644)) == 0, "create log");

    listening_ = UniqueFd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    check(listening_.valid(), "socket");
    struct sockaddr_un address {};
    address.sun_family = AF_UNIX;
    if (socket_.size() >= sizeof address.sun_path) throw std::runtime_error("socket path too long: " + socket_);
    std::memcpy(address.sun_path, socket_.c_str(), socket_.size() + 1);
    check(::bind(listening_.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0, "bind");
    check(::chmod(socket_.c_str(), 0666) == 0, "chmod socket");
    if (start.listens) check(::listen(listening_.get(), 64) == 0, "listen");
    launch();
}

void HelperProcess::launch() {
    UniqueFd log(::open(logPath_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
    check(log.valid(), "open log");

    // Everything the child needs is prepared here: after fork it may only make system calls.
    const std::string fdsVariable = "LISTEN_FDS=1";
    const std::string namesVariable = "LISTEN_FDNAMES=" + start_.identity;
    char pidVariable[48] = "LISTEN_PID=";
    std::vector<char*> environment;
    if (start_.handsOverSocket) {
        environment.push_back(const_cast<char*>(fdsVariable.c_str()));
        environment.push_back(pidVariable);
        if (!start_.identity.empty()) environment.push_back(const_cast<char*>(namesVariable.c_str()));
    }
    // Sanitizer settings of the test build reach the helper built with them.
    std::vector<std::string> kept;
    for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS", "TSAN_OPTIONS", "PATH"}) {
        if (const char* value = std::getenv(name)) kept.push_back(std::string(name) + "=" + value);
    }
    for (std::string& variable : kept)
        environment.push_back(variable.data());
    environment.push_back(nullptr);
    char* const arguments[] = {helper_.data(), nullptr};

    pid_ = ::fork();
    check(pid_ >= 0, "fork");
    if (pid_ == 0) {
        writeNumber(pidVariable + std::strlen("LISTEN_PID="), ::getpid());
        if ((start_.handsOverSocket && !placeAt(listening_.get(), listenDescriptor)) ||
            ::dup2(log.get(), STDERR_FILENO) != STDERR_FILENO) {
            ::_exit(126);
        }
        ::execve(helper_.c_str(), arguments, environment.data());
        ::_exit(127);
    }
    process_ = UniqueFd(static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0)));
    check(process_.valid(), "pidfd_open");
    exit_.reset();
    ++launches_;
}

HelperProcess::~HelperProcess() {
    if (!exit_ && pid_ > 0) {
        ::kill(pid_, SIGKILL);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
}

std::optional<int> HelperProcess::waitForExit(std::chrono::milliseconds timeout) {
    if (exit_) return exit_;
    struct pollfd watch {
        process_.get(), POLLIN, 0
    };
    int ready;
    do {
        ready = ::poll(&watch, 1, static_cast<int>(timeout.count()));
    } while (ready < 0 && errno == EINTR);
    if (ready <= 0) return std::nullopt;
    int status = 0;
    if (::waitpid(pid_, &status, 0) != pid_) return std::nullopt;
    exit_ = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    return exit_;
}

HelperProcess::Outcome HelperProcess::connectThrough(const std::string& program, std::optional<uid_t> uid) {
    int pair[2];
    check(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) == 0, "socketpair");
    UniqueFd ours(pair[0]);
    UniqueFd theirs(pair[1]);
    std::string programCopy = program;
    std::string socketCopy = socket_;
    char* const arguments[] = {programCopy.data(), socketCopy.data(), nullptr};
    char* const environment[] = {nullptr};

    const pid_t child = ::fork();
    check(child >= 0, "fork");
    if (child == 0) {
        if (uid && (::setgroups(0, nullptr) != 0 || ::setgid(*uid) != 0 || ::setuid(*uid) != 0)) ::_exit(126);
        if (!placeAt(theirs.get(), 3)) ::_exit(126);
        ::execve(programCopy.c_str(), arguments, environment);
        ::_exit(127);
    }
    theirs.reset();

    Outcome outcome;
    const auto deadline = std::chrono::steady_clock::now() + clientTimeout;
    bool answered = false;
    if (start_.restartsOnDemand && waitForExit(std::chrono::milliseconds(0))) launch();
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        // As systemd does: a helper that has ended is started again for a waiting connection.
        const bool watchHelper = start_.restartsOnDemand && !exit_;
        struct pollfd watch[2] = {{ours.get(), POLLIN, 0}, {process_.get(), POLLIN, 0}};
        const int ready = ::poll(watch, watchHelper ? 2 : 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) break;
        if (watch[0].revents != 0) {
            answered = true;
            break;
        }
        if (watchHelper && watch[1].revents != 0) {
            waitForExit(std::chrono::milliseconds(0));
            launch();
        }
    }
    if (answered) {
        char status = 0;
        struct iovec byte {
            &status, 1
        };
        alignas(struct cmsghdr) char space[CMSG_SPACE(sizeof(int))] = {};
        struct msghdr message {};
        message.msg_iov = &byte;
        message.msg_iovlen = 1;
        message.msg_control = space;
        message.msg_controllen = sizeof space;
        if (::recvmsg(ours.get(), &message, MSG_CMSG_CLOEXEC) == 1) {
            outcome.status = status;
            for (struct cmsghdr* header = CMSG_FIRSTHDR(&message); header; header = CMSG_NXTHDR(&message, header)) {
                if (header->cmsg_level == SOL_SOCKET && header->cmsg_type == SCM_RIGHTS) {
                    int fd = -1;
                    std::memcpy(&fd, CMSG_DATA(header), sizeof fd);
                    outcome.socket = UniqueFd(fd);
                }
            }
        }
    } else {
        ::kill(child, SIGKILL);
    }
    int childStatus = 0;
    ::waitpid(child, &childStatus, 0);
    return outcome;
}

HelperConnection HelperProcess::connectAsApp(std::optional<uid_t> uid) {
    Outcome outcome = connectThrough(app_, uid);
    if (outcome.status != 'A' || !outcome.socket) {
        ADD_FAILURE() << "the helper did not answer its app (status '" << outcome.status << "'); its log:\n" << log();
        throw std::runtime_error("no connection");
    }
    return HelperConnection(std::move(*outcome.socket));
}

std::string HelperProcess::log() const {
    std::ifstream in(logPath_);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> HelperProcess::threadNames() const {
    std::vector<std::string> names;
    const std::string tasks = "/proc/" + std::to_string(pid_) + "/task";
    if (DIR* dir = ::opendir(tasks.c_str())) {
        while (const struct dirent* entry = ::readdir(dir)) {
            if (entry->d_name[0] == '.') continue;
            std::ifstream comm(tasks + "/" + entry->d_name + "/comm");
            std::string name;
            if (std::getline(comm, name)) names.push_back(name);
        }
        ::closedir(dir);
    }
    return names;
}

} // namespace hollowmere::test
