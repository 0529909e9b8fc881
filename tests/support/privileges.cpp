#include "support/privileges.h"

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

namespace hollowmere::test {

bool runUnprivileged(const std::function<bool()>& check) {
    const pid_t child = ::fork();
    if (child < 0) return false;
    if (child == 0) {
        if (::geteuid() == 0) {
            if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);
        }
        ::_exit(check() ? 0 : 1);
    }
    int status = 0;
    if (::waitpid(child, &status, 0) != child) return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace hollowmere::test
