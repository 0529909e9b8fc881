#pragma once

#include "helperlink/helper_connection.h"
#include "helperlink/service_names.h"
#include "scankit/unique_fd.h"
#include "support/temp_dir.h"

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace hollowmere::test {

// How a test starts the helper.
struct HelperStart {
    // The name the socket is handed over under (LISTEN_FDNAMES); empty: none is given.
    std::string identity = ServiceNames::helperIdentifier();
    mode_t helperMode = 0755;
    bool handsOverSocket = true; // else no LISTEN_FDS at all
    bool listens = true;         // else the socket handed over is bound but not listening
    // Started again when it has ended and a client connects, as systemd does.
    bool restartsOnDemand = false;
};

// A test installation in a temporary folder and the real helper running from it: the helper
// at libexec/hollowmere-helper, the test client installed as its app, and a socket handed to
// the helper exactly as systemd does (descriptor 3, LISTEN_FDS, LISTEN_PID, LISTEN_FDNAMES).
// The helper's standard error goes to a file the test can read. A helper still running at
// the end is killed.
class HelperProcess {
public:
    explicit HelperProcess(const HelperStart& start = {});
    ~HelperProcess();
    HelperProcess(const HelperProcess&) = delete;
    HelperProcess& operator=(const HelperProcess&) = delete;

    const TempDir& dir() const { return dir_; }
    const std::string& helperPath() const { return helper_; }
    const std::string& appPath() const { return app_; }
    const std::string& socketPath() const { return socket_; }
    pid_t pid() const { return pid_; }

    // What a client program made of its connection.
    struct Outcome {
        char status = 0;                // 'A' answered, 'R' closed without an answer, 'E' no connection
        std::optional<UniqueFd> socket; // with 'A'
    };
    // How many times the helper was started.
    int launches() const { return launches_; }

    // Runs `program` (a copy of the test client) to connect, as `uid` when given (its group
    // the same number, no supplementary groups).
    Outcome connectThrough(const std::string& program, std::optional<uid_t> uid = std::nullopt);
    // Connects through the installed app; fails the test unless the helper answers.
    HelperConnection connectAsApp(std::optional<uid_t> uid = std::nullopt);

    // The exit status once the helper has ended within `timeout` (the negated signal number
    // when a signal ended it); absent while it still runs.
    std::optional<int> waitForExit(std::chrono::milliseconds timeout);

    // The helper's standard error so far.
    std::string log() const;
    // The names of the helper's threads.
    std::vector<std::string> threadNames() const;

private:
    void launch();

    HelperStart start_;
    TempDir dir_;
    std::string helper_;
    std::string app_;
    std::string socket_;
    std::string logPath_;
    UniqueFd listening_;
    pid_t pid_ = -1;
    UniqueFd process_; // pidfd of the helper
    int launches_ = 0;
    std::optional<int> exit_;
};

// The built test client, for copies at other places.
std::string testClientPath();

// Copies a file and gives it `mode`.
void install(const std::string& from, const std::string& to, mode_t mode);

} // namespace hollowmere::test
