#include "scan_report.h"

#include "scankit/item_category.h"
#include "scankit/largest_items.h"
#include "scankit/utf8.h"

#include <cstdio>

namespace hollowmere::cli {

namespace {

constexpr size_t restrictedShown = 5;

} // namespace

ScanSummary summarize(const FileTree& tree, double seconds, int top, std::optional<ItemCategory> kind) {
    using Flags = FileTree::Flags;
    ScanSummary s;
    s.path = tree.rootPath();
    s.totalBytes = tree.size(FileTree::root());
    s.items = tree.itemCount(FileTree::root());
    s.seconds = seconds;
    s.storageBytes = tree.storageBytes();
    constexpr auto notRead = Flags::restricted | Flags::mountPoint | Flags::dataless;
    for (int32_t i = 0; i < tree.count(); ++i) {
        const NodeID id{i};
        if (tree.isContainer(id) && !intersects(tree.flags(id), notRead)) ++s.folders;
    }
    const auto restricted = tree.restrictedFolders();
    s.restricted = restricted.size();
    for (size_t i = 0; i < restricted.size() && i < restrictedShown; ++i) s.firstRestricted.push_back(tree.path(restricted[i]));
    if (top > 0) {
        s.largestTitle = kind ? std::string(title(*kind)) : std::string(allKindsTitle);
        const LargestItems largest = tree.largestItems(top);
        for (NodeID id : largest.items(kind)) s.largest.push_back({tree.path(id), tree.size(id)});
    }
    return s;
}

std::string formatBytes(uint64_t bytes) {
    if (bytes == 0) return "Zero KB";
    static constexpr const char* units[] = {"bytes", "KB", "MB", "GB", "TB", "PB", "EB"};
    double value = static_cast<double>(bytes);
    size_t unit = 0;
    while (value >= 1000 && unit + 1 < std::size(units)) {
        value /= 1000;
        ++unit;
    }
    char buffer[32];
    if (unit == 0) {
        std::snprintf(buffer, sizeof buffer, "%llu bytes", static_cast<unsigned long long>(bytes));
    } else {
        const int decimals = value < 10 ? 2 : value < 100 ? 1 : 0;
        std::snprintf(buffer, sizeof buffer, "%.*f %s", decimals, value, units[unit]);
    }
    return buffer;
}

std::string formatCount(uint64_t count) {
    const std::string digits = std::to_string(count);
    std::string out;
    out.reserve(digits.size() + digits.size() / 3);
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

std::string jsonString(std::string_view text) {
    const std::string valid = repairUtf8(text);
    std::string out = "\"";
    for (const char c : valid) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
                out += escaped;
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

std::string textReport(const ScanSummary& s) {
    std::string out = repairUtf8(s.path) + "\n";
    char line[160];
    std::snprintf(line, sizeof line, "  Allocated   %s (%s bytes)\n", formatBytes(s.totalBytes).c_str(),
                  formatCount(s.totalBytes).c_str());
    out += line;
    out += "  Items       " + formatCount(s.items) + "\n";
    out += "  Folders     " + formatCount(s.folders) + " read\n";
    out += "  Restricted  " + formatCount(s.restricted) + (s.restricted ? " (could not be read)" : "") + "\n";
    for (const std::string& path : s.firstRestricted) out += "              " + repairUtf8(path) + "\n";
    if (s.restricted > s.firstRestricted.size()) {
        out += "              and " + formatCount(s.restricted - s.firstRestricted.size()) + " more\n";
    }
    const double rate = s.seconds > 0 ? static_cast<double>(s.items) / s.seconds : 0;
    std::snprintf(line, sizeof line, "  Elapsed     %.2f s (%s items per second)\n", s.seconds,
                  formatCount(static_cast<uint64_t>(rate)).c_str());
    out += line;
    if (!s.largestTitle.empty()) {
        out += "\nLargest files (" + s.largestTitle + ")\n";
        if (s.largest.empty()) out += "  none\n";
        for (const ScanSummary::Item& item : s.largest) {
            std::snprintf(line, sizeof line, "  %10s  ", formatBytes(item.bytes).c_str());
            out += line + repairUtf8(item.path) + "\n";
        }
    }
    return out;
}

std::string jsonReport(const ScanSummary& s) {
    std::string out = "{";
    out += "\"path\":" + jsonString(s.path);
    out += ",\"total_bytes\":" + std::to_string(s.totalBytes);
    out += ",\"items\":" + std::to_string(s.items);
    out += ",\"folders\":" + std::to_string(s.folders);
    out += ",\"restricted\":" + std::to_string(s.restricted);
    out += ",\"restricted_paths\":[";
    for (size_t i = 0; i < s.firstRestricted.size(); ++i) {
        if (i) out += ',';
        out += jsonString(s.firstRestricted[i]);
    }
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.6f", s.seconds);
    out += "],\"seconds\":";
    out += seconds;
    out += ",\"storage_bytes\":" + std::to_string(s.storageBytes);
    if (!s.largestTitle.empty()) {
        out += ",\"largest\":[";
        for (size_t i = 0; i < s.largest.size(); ++i) {
            if (i) out += ',';
            out += "{\"path\":";
            out += jsonString(s.largest[i].path);
            out += ",\"bytes\":";
            out += std::to_string(s.largest[i].bytes);
            out += '}';
        }
        out += "]";
    }
    return out + "}\n";
}

} // namespace hollowmere::cli
