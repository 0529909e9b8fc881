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
    bool totalOnly = false;
    int top = 20;                        // largest files listed
    bool topGiven = false;
    std::optional<std::string> kind;     // a category's raw value: list only that kind
};

// Parses the command line; on a usage error returns nothing and sets `error`.
std::optional<ScanOptions> parseOptions(const std::vector<std::string>& arguments, std::string& error);

extern const char* const usageText;

} // namespace hollowmere::cli
