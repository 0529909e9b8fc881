// hollowmere-helper: the privileged helper. systemd starts it as root when the app connects
// to its socket and hands the listening socket over; it serves the app of its own
// installation and ends when the last connection closes.
#include "helper_log.h"
#include "installation.h"
#include "listener.h"
#include "socket_activation.h"

#include "helperlink/build_string.h"
#include "helperlink/install_layout.h"
#include "helperlink/service_names.h"

#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

using namespace hollowmere;

int main() {
    // The helper's identity is the name its socket was handed over under.
    std::vector<ActivatedSocket> sockets = ActivatedSocket::takeAll();
    const std::optional<std::string> identity =
        sockets.empty() ? std::nullopt : std::optional<std::string>(sockets.front().name);
    const std::optional<std::string> appIdentifier =
        identity ? ServiceNames::appIdentifierOf(*identity) : std::nullopt;

    static HelperLog log(appIdentifier ? *identity : HelperLog::defaultSubsystem);
    if (!appIdentifier || *appIdentifier != ServiceNames::appIdentifier) {
        log.error({"no bundle identifier: exiting"});
        return EXIT_FAILURE;
    }

    const std::optional<std::string> executable = InstallLayout::ownExecutable();
    if (!executable) {
        log.error({"not signed by a team: exiting"});
        return EXIT_FAILURE;
    }
    Installation installation(*executable);
    if (const std::optional<std::string> problem = installation.helperProblem()) {
        log.notice({"untrusted installation: ", *problem});
        log.error({"not signed by a team: exiting"});
        return EXIT_FAILURE;
    }

    const std::string build = BuildString::of(installation.helper());
    static Listener listener(build, std::move(installation), log);

    if (sockets.size() != 1 || !sockets.front().isListeningLocalStream()) {
        log.error({"no listening socket: exiting"});
        return EXIT_FAILURE;
    }
    log.notice({"started as uid ", std::to_string(::geteuid()), ", build ", build});
    listener.run(sockets.front().descriptor);
}
