#pragma once

#include <optional>
#include <string>
#include <vector>

namespace hollowmere::cli {

struct ScanOptions {
    std::string folder;
    bool json = false;
    bool help = false;
    int workers = 0; // 0: one per processor core
};

// Parses the command line; on a usage error returns nothing and sets `error`.
std::optional<ScanOptions> parseOptions(const std::vector<std::string>& arguments, std::string& error);

extern const char* const usageText;

} // namespace hollowmere::cli
