#include "package_rule.h"

#include "utf8.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace hollowmere::PackageRule {

namespace {

constexpr size_t maxExtensionBytes = 14;

// Sorted, so that lookups are a binary search over constant data.
constexpr std::array<std::string_view, 28> extensions = [] {
    std::array<std::string_view, 28> list{
        "app",          "appex",        "bundle",        "framework",  "plugin",   "kext",
        "xpc",          "qlgenerator",  "mdimporter",    "photoslibrary", "musiclibrary",
        "tvlibrary",    "photolibrary", "imovielibrary", "fcpbundle",  "xcarchive", "xcodeproj",
        "xcworkspace",  "playground",   "pages",         "numbers",    "key",      "rtfd",
        "sparsebundle", "logicx",       "band",          "lrdata",     "lrlibrary"};
    std::sort(list.begin(), list.end());
    return list;
}();

} // namespace

bool matches(std::string_view name) {
    const size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0) return false;
    const std::string_view ext = name.substr(dot + 1);
    if (ext.empty() || ext.size() > maxExtensionBytes) return false;
    std::array<char, maxExtensionBytes> lowered{};
    const std::optional<size_t> length = lowerToAscii(ext, lowered);
    return length && std::binary_search(extensions.begin(), extensions.end(),
                                        std::string_view(lowered.data(), *length));
}

bool pathHasPackageComponent(std::string_view path) {
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string_view::npos) end = path.size();
        if (end > start && matches(path.substr(start, end - start))) return true;
        start = end + 1;
    }
    return false;
}

} // namespace hollowmere::PackageRule
