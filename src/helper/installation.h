#pragma once

#include "helperlink/peer_credentials.h"

#include <optional>
#include <string>

namespace hollowmere {

// The installation the helper belongs to and the one program it serves: the app installed
// beside it (<prefix>/bin/hollowmere for <prefix>/libexec/hollowmere-helper). Both files
// must pass InstallLayout::unsafeFile.
class Installation {
public:
    explicit Installation(std::string helperExecutable);

    const std::string& helper() const { return helper_; }
    const std::string& app() const { return app_; }

    // Why the helper's own file cannot be trusted, or nothing when it can.
    std::optional<std::string> helperProblem() const;

    // Why the process at the other end of `socket` is not this installation's app, or
    // nothing when it is. The running image is compared by device and inode with the app
    // file; a pidfd (from the socket where the kernel offers one) makes sure the process looked
    // at is still the one that connected.
    std::optional<std::string> refusal(int socket, const PeerCredentials& peer) const;

private:
    std::string helper_;
    std::string app_;
};

} // namespace hollowmere
