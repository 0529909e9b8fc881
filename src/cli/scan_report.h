#pragma once

#include "scankit/file_tree.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace hollowmere::cli {

// What hollowmere-scan reports about one finished scan.
struct ScanSummary {
    std::string path;
    uint64_t totalBytes = 0;
    uint64_t items = 0;
    uint64_t folders = 0; // folders read (entered and listed)
    uint64_t restricted = 0;
    std::vector<std::string> firstRestricted;
    double seconds = 0;
    uint64_t storageBytes = 0;

    struct Item {
        std::string path;
        uint64_t bytes;
    };
    std::string largestTitle; // "All Kinds" or the kind's title
    std::vector<Item> largest;
};

// Summarises a finished scan; lists the `top` largest files, of one kind when given.
ScanSummary summarize(const FileTree& tree, double seconds, int top = 0,
                      std::optional<ItemCategory> kind = std::nullopt);

std::string textReport(const ScanSummary& summary);
std::string jsonReport(const ScanSummary& summary);

// "1.23 GB": decimal units, about three significant digits.
std::string formatBytes(uint64_t bytes);
// "1,234,567"
std::string formatCount(uint64_t count);
// A JSON string literal of text that may hold invalid UTF-8 (repaired first).
std::string jsonString(std::string_view text);

} // namespace hollowmere::cli
