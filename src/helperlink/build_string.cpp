#include "build_string.h"

#include <sys/stat.h>

namespace hollowmere::BuildString {

std::string of(const std::string& executable) {
    struct stat status {};
    if (::stat(executable.c_str(), &status) != 0) return std::string(missing);
    return std::to_string(status.st_ino) + "-" + std::to_string(status.st_mtim.tv_sec) + "." +
           std::to_string(status.st_mtim.tv_nsec) + "-" + std::to_string(status.st_size);
}

} // namespace hollowmere::BuildString
