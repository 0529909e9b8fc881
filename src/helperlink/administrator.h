#pragma once

#include <sys/types.h>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hollowmere {

// Whether a user may act as an administrator through the helper: root, or a member of one
// of the groups that may use sudo on the usual distributions.
namespace Administrator {

inline constexpr std::array<std::string_view, 3> groupNames = {"sudo", "wheel", "admin"};

// Where the test gets its facts; the system's by default, others in tests.
struct Lookup {
    struct Account {
        std::string name;
        gid_t group = 0; // primary group
    };
    std::function<std::optional<Account>(uid_t uid)> account;
    // getgrouplist's contract: fills `groups` (of `count` entries) and returns the number of
    // groups, or -1 with `count` set to the number needed when they do not fit.
    std::function<int(const std::string& name, gid_t group, gid_t* groups, int* count)> groupList;
    std::vector<gid_t> administratorGroups;

    // The user and group databases, and the ids of the groups in groupNames that exist.
    static Lookup system();
};

// True for uid 0; otherwise the user's group list (64 entries first, then twice what the
// lookup says it needs) must contain an administrator group. No account, or more than 4095
// groups, is not an administrator.
bool test(uid_t uid, const Lookup& lookup);
bool test(uid_t uid);

} // namespace Administrator

} // namespace hollowmere
