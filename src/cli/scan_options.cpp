#include "scan_options.h"

#include "scankit/item_category.h"

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
    "  --total        print only the allocated total in bytes\n"
    "  --top N        list the N largest files (default 20; 0 lists none)\n"
    "  --kind KIND    list the largest files of one kind: video, archive, diskImage,\n"
    "                 installer or app\n"
    "  --workers N    read with N threads (default: one per processor core)\n"
    "  --csv FILE     also export every item as CSV (path, kind, allocated bytes, items)\n"
    "  --map FILE     also draw the folder's sunburst map into FILE, a PNG picture\n"
    "  --size N       the map's side in pixels, 64 to 4096 (default 800)\n"
    "  --dark         draw the map in the dark appearance\n"
    "  -h, --help     show this help\n"
    "\n"
    "Progress goes to standard error when it is a terminal; Ctrl+C cancels the scan.\n"
    "Exit status: 0 on success, 1 when the folder cannot be read, 2 on a usage error,\n"
    "130 when cancelled.\n";

std::optional<ScanOptions> parseOptions(const std::vector<std::string>& arguments, std::string& error) {
    ScanOptions options;
    bool onlyOperands = false;
    bool sizeGiven = false;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& a = arguments[i];
        if (!onlyOperands && a == "--") {
            onlyOperands = true;
        } else if (!onlyOperands && (a == "-h" || a == "--help")) {
            options.help = true;
        } else if (!onlyOperands && a == "--json") {
            options.json = true;
        } else if (!onlyOperands && a == "--total") {
            options.totalOnly = true;
        } else if (!onlyOperands && a == "--dark") {
            options.mapDark = true;
        } else if (!onlyOperands && a == "--csv") {
            if (i + 1 == arguments.size() || arguments[i + 1].empty()) {
                error = "--csv needs a file name";
                return std::nullopt;
            }
            options.csvFile = arguments[++i];
        } else if (!onlyOperands && a == "--map") {
            if (i + 1 == arguments.size() || arguments[i + 1].empty()) {
                error = "--map needs a file name";
                return std::nullopt;
            }
            options.mapFile = arguments[++i];
        } else if (!onlyOperands && a == "--size") {
            const std::string value = i + 1 < arguments.size() ? arguments[++i] : std::string();
            int number = 0;
            const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), number);
            if (value.empty() || ec != std::errc() || end != value.data() + value.size() ||
                number < minMapSize || number > maxMapSize) {
                error = "--size needs a number from " + std::to_string(minMapSize) + " to " +
                        std::to_string(maxMapSize) + (value.empty() ? "" : ", not \"" + value + "\"");
                return std::nullopt;
            }
            options.mapSize = number;
            sizeGiven = true;
        } else if (!onlyOperands && (a == "--workers" || a == "--top")) {
            if (i + 1 == arguments.size()) {
                error = a + " needs a number";
                return std::nullopt;
            }
            const std::string& value = arguments[++i];
            int number = 0;
            const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), number);
            const int least = a == "--workers" ? 1 : 0;
            if (ec != std::errc() || end != value.data() + value.size() || number < least) {
                error = a + " needs a " + (least ? "positive" : "non-negative") + " number, not \"" + value + "\"";
                return std::nullopt;
            }
            (a == "--workers" ? options.workers : options.top) = number;
            options.topGiven = options.topGiven || a == "--top";
        } else if (!onlyOperands && a == "--kind") {
            if (i + 1 == arguments.size() || !itemCategory(arguments[i + 1])) {
                error = "--kind needs one of video, archive, diskImage, installer, app";
                return std::nullopt;
            }
            options.kind = arguments[++i];
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
    if ((sizeGiven || options.mapDark) && !options.mapFile) {
        error = std::string(sizeGiven ? "--size" : "--dark") + " needs --map";
        return std::nullopt;
    }
    if (options.folder.empty()) {
        const char* home = std::getenv("HOME");
        options.folder = home && *home ? home : "/";
    }
    return options;
}

} // namespace hollowmere::cli
