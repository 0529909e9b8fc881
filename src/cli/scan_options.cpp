#include "scan_options.h"

#include <charconv>
#include <cstdlib>

namespace hollowmere::cli {

const char* const usageText =
    "Usage: hollowmere-scan [OPTIONS] [FOLDER]\n"
    "Scans FOLDER (default: your home folder) and reports the space it takes on disk:\n"
    "allocated bytes, hard-linked files counted once, links never followed.\n"
    "\n"
    "Options:\n"
    "  --json         print one JSON object instead of the report\n"
    "  --workers N    read with N threads (default: one per processor core)\n"
    "  -h, --help     show this help\n"
    "\n"
    "Progress goes to standard error when it is a terminal; Ctrl+C cancels the scan.\n"
    "Exit status: 0 on success, 1 when the folder cannot be read, 2 on a usage error,\n"
    "130 when cancelled.\n";

std::optional<ScanOptions> parseOptions(const std::vector<std::string>& arguments, std::string& error) {
    ScanOptions options;
    bool onlyOperands = false;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& a = arguments[i];
        if (!onlyOperands && a == "--") {
            onlyOperands = true;
        } else if (!onlyOperands && (a == "-h" || a == "--help")) {
            options.help = true;
        } else if (!onlyOperands && a == "--json") {
            options.json = true;
        } else if (!onlyOperands && a == "--workers") {
            if (i + 1 == arguments.size()) {
                error = "--workers needs a number";
                return std::nullopt;
            }
            const std::string& value = arguments[++i];
            const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), options.workers);
            if (ec != std::errc() || end != value.data() + value.size() || options.workers < 1) {
                error = "--workers needs a positive number, not \"" + value + "\"";
                return std::nullopt;
            }
        } else if (!onlyOperands && a.size() > 1 && a[0] == '-') {
            error = "unknown option " + a;
            return std::nullopt;
        } else if (options.folder.empty()) {
            options.folder = a;
        } else {
            error = "only one folder can be scanned at a time";
            return std::nullopt;
        }
    }
    if (options.folder.empty()) {
        const char* home = std::getenv("HOME");
        options.folder = home && *home ? home : "/";
    }
    return options;
}

} // namespace hollowmere::cli
