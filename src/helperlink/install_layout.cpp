#include "install_layout.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>

namespace hollowmere {

namespace {

// The ways between the two install folders, from CMake.
constexpr const char* helperToApp = HOLLOWMERE_HELPER_TO_APP;
constexpr const char* appToHelper = HOLLOWMERE_APP_TO_HELPER;

bool writableByOthers(const struct stat& status) {
    return (status.st_mode & (S_IWGRP | S_IWOTH)) != 0;
}

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

std::string beside(const std::string& executable, const char* way) {
    return (std::filesystem::path(executable).parent_path() / way).lexically_normal().string();
}

} // namespace

std::optional<std::string> InstallLayout::ownExecutable() {
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer);
    if (n <= 0 || static_cast<size_t>(n) >= sizeof buffer) return std::nullopt;
    return std::string(buffer, static_cast<size_t>(n));
}

std::string InstallLayout::appOf(const std::string& helperExecutable) {
    return beside(helperExecutable, helperToApp);
}

std::string InstallLayout::helperOf(const std::string& appExecutable) {
    return beside(appExecutable, appToHelper);
}

std::optional<std::string> InstallLayout::unsafeFile(const std::string& path) {
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

} // namespace hollowmere
