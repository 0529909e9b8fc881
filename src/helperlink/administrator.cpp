#include "administrator.h"

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace hollowmere::Administrator {

namespace {

constexpr int firstGroupBuffer = 64;
constexpr int mostGroups = 4095;

size_t recordBuffer() {
    const long suggested = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    return suggested > 0 ? static_cast<size_t>(suggested) : 16384;
}

std::optional<gid_t> groupNamed(std::string_view name) {
    std::vector<char> buffer(recordBuffer());
    struct group record {};
    struct group* found = nullptr;
    const std::string text(name);
    while (::getgrnam_r(text.c_str(), &record, buffer.data(), buffer.size(), &found) == ERANGE) {
        buffer.resize(buffer.size() * 2);
    }
    if (!found) return std::nullopt;
    return found->gr_gid;
}

} // namespace

Lookup Lookup::system() {
    Lookup lookup;
    lookup.account = [](uid_t uid) -> std::optional<Account> {
        std::vector<char> buffer(recordBuffer());
        struct passwd record {};
        struct passwd* found = nullptr;
        while (::getpwuid_r(uid, &record, buffer.data(), buffer.size(), &found) == ERANGE) {
            buffer.resize(buffer.size() * 2);
        }
        if (!found) return std::nullopt;
        return Account{found->pw_name, found->pw_gid};
    };
    lookup.groupList = [](const std::string& name, gid_t group, gid_t* groups, int* count) {
        return ::getgrouplist(name.c_str(), group, groups, count);
    };
    for (std::string_view name : groupNames) {
        if (const std::optional<gid_t> gid = groupNamed(name)) lookup.administratorGroups.push_back(*gid);
    }
    return lookup;
}

bool test(uid_t uid, const Lookup& lookup) {
    if (uid == 0) return true;
    const std::optional<Lookup::Account> account = lookup.account(uid);
    if (!account) return false;

    std::vector<gid_t> groups(firstGroupBuffer, 0);
    int count = firstGroupBuffer;
    while (lookup.groupList(account->name, account->group, groups.data(), &count) == -1) {
        // A lookup that asks for no more room than it had would never finish.
        if (count > mostGroups || count <= static_cast<int>(groups.size())) return false;
        groups.assign(static_cast<size_t>(count) * 2, 0);
        count = static_cast<int>(groups.size());
    }
    const size_t listed = std::min(static_cast<size_t>(std::max(count, 0)), groups.size());
    return std::any_of(groups.begin(), groups.begin() + static_cast<std::ptrdiff_t>(listed), [&](gid_t gid) {
        return std::find(lookup.administratorGroups.begin(), lookup.administratorGroups.end(), gid) !=
               lookup.administratorGroups.end();
    });
}

bool test(uid_t uid) { return test(uid, Lookup::system()); }

} // namespace hollowmere::Administrator
