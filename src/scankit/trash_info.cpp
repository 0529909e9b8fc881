#include "trash_info.h"

#include <array>

namespace hollowmere::TrashInfo {

std::string encodePath(std::string_view path) {
    constexpr std::string_view hex = "0123456789ABCDEF";
    std::string encoded;
    encoded.reserve(path.size());
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        const bool keep = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                          (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' ||
                          byte == '_' || byte == '~' || byte == '/';
        if (keep) {
            encoded += c;
        } else {
            encoded += '%';
            encoded += hex[byte >> 4];
            encoded += hex[byte & 0x0F];
        }
    }
    return encoded;
}

std::string contents(std::string_view path, std::time_t deletionDate) {
    struct tm local {};
    std::array<char, 32> date{};
    if (!::localtime_r(&deletionDate, &local) ||
        std::strftime(date.data(), date.size(), "%Y-%m-%dT%H:%M:%S", &local) == 0) {
        date = {};
    }
    return "[Trash Info]\nPath=" + encodePath(path) + "\nDeletionDate=" + date.data() + "\n";
}

} // namespace hollowmere::TrashInfo
