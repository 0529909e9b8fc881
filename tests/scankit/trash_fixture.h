#pragma once

#include "scankit/file_identity.h"
#include "scankit/trash_mover.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>

#include <fstream>
#include <optional>
#include <ostream>
#include <set>
#include <sstream>
#include <string>

namespace hollowmere {

// Failures print as their sentence in test messages.
inline void PrintTo(const TrashMover::Failure& failure, std::ostream* out) {
    *out << failure.what();
}

namespace test {

// The failure `operation` throws; absent when it returns.
template <class Operation> std::optional<TrashMover::Failure> failureOf(Operation&& operation) {
    try {
        operation();
    } catch (const TrashMover::Failure& failure) {
        return failure;
    }
    return std::nullopt;
}

inline std::optional<struct stat> statusOf(const std::string& path) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) return std::nullopt;
    return status;
}

inline bool present(const std::string& path) {
    return statusOf(path).has_value();
}

inline std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The names in a folder, "." and ".." left out; empty when it cannot be read.
inline std::set<std::string> namesIn(const std::string& folder) {
    std::set<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const struct dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") names.insert(name);
        }
        ::closedir(dir);
    }
    return names;
}

} // namespace test

} // namespace hollowmere
