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
    std::optional<std::string> csvFile;  // export the folder as CSV there
    std::optional<std::string> mapFile;  // write a picture of the map there (PNG)
    int mapSize = 800;                   // its side in pixels
    bool mapDark = false;                // in the dark appearance
};

// The side of a map picture, in pixels.
inline constexpr int minMapSize = 64;
inline constexpr int maxMapSize = 4096;

// Parses the command line; on a usage error returns nothing and sets `error`.
std::optional<ScanOptions> parseOptions(const std::vector<std::string>& arguments, std::string& error);

extern const char* const usageText;

} // namespace hollowmere::cli
