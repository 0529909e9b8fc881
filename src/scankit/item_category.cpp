#include "item_category.h"

#include "file_tree.h"
#include "utf8.h"

namespace hollowmere {

namespace {

struct CategoryInfo {
    ItemCategory category;
    std::string_view raw;
    std::string_view title;
};

constexpr std::array<CategoryInfo, 5> categoryInfo = {{
    {ItemCategory::video, "video", "Videos"},
    {ItemCategory::archive, "archive", "Archives"},
    {ItemCategory::diskImage, "diskImage", "Disk Images"},
    {ItemCategory::installer, "installer", "Installers"},
    {ItemCategory::app, "app", "Apps"},
}};

struct Extension {
    std::string_view text;
    ItemCategory category;
};

constexpr auto extensions = std::to_array<Extension>({
    {"mp4", ItemCategory::video}, {"m4v", ItemCategory::video}, {"mov", ItemCategory::video},
    {"mkv", ItemCategory::video}, {"avi", ItemCategory::video}, {"wmv", ItemCategory::video},
    {"flv", ItemCategory::video}, {"webm", ItemCategory::video}, {"mpg", ItemCategory::video},
    {"mpeg", ItemCategory::video}, {"mts", ItemCategory::video}, {"m2ts", ItemCategory::video},
    {"3gp", ItemCategory::video}, {"vob", ItemCategory::video}, {"mxf", ItemCategory::video},
    {"braw", ItemCategory::video}, {"r3d", ItemCategory::video},

    {"zip", ItemCategory::archive}, {"rar", ItemCategory::archive}, {"7z", ItemCategory::archive},
    {"tar", ItemCategory::archive}, {"gz", ItemCategory::archive}, {"tgz", ItemCategory::archive},
    {"bz2", ItemCategory::archive}, {"tbz", ItemCategory::archive},
    {"tbz2", ItemCategory::archive}, {"xz", ItemCategory::archive}, {"txz", ItemCategory::archive},
    {"zst", ItemCategory::archive}, {"lz", ItemCategory::archive}, {"lz4", ItemCategory::archive},
    {"lzma", ItemCategory::archive}, {"cpio", ItemCategory::archive},
    {"xar", ItemCategory::archive}, {"xip", ItemCategory::archive}, {"sit", ItemCategory::archive},
    {"sitx", ItemCategory::archive}, {"cab", ItemCategory::archive},

    {"dmg", ItemCategory::diskImage}, {"iso", ItemCategory::diskImage},
    {"img", ItemCategory::diskImage}, {"cdr", ItemCategory::diskImage},
    {"toast", ItemCategory::diskImage}, {"sparseimage", ItemCategory::diskImage},
    {"sparsebundle", ItemCategory::diskImage}, {"asif", ItemCategory::diskImage},
    {"vmdk", ItemCategory::diskImage}, {"vdi", ItemCategory::diskImage},
    {"vhd", ItemCategory::diskImage}, {"vhdx", ItemCategory::diskImage},
    {"qcow2", ItemCategory::diskImage},

    {"pkg", ItemCategory::installer}, {"mpkg", ItemCategory::installer},
    {"ipsw", ItemCategory::installer},

    {"app", ItemCategory::app},
});
static_assert(extensions.size() == 17 + 21 + 13 + 3 + 1);

constexpr size_t shortExtensionBytes = 8;
constexpr size_t longestExtensionBytes = 12;

const CategoryInfo& info(ItemCategory category) {
    return categoryInfo[static_cast<size_t>(category)];
}

std::optional<ItemCategory> lookUp(std::string_view ext) {
    if (ext.size() <= shortExtensionBytes) {
        const auto& map = ItemCategoryMaps::shortMap();
        const auto found = map.find(ItemCategoryMaps::key(ext));
        if (found == map.end()) return std::nullopt;
        return found->second;
    }
    // The long map holds ASCII text only, so lower-casing to ASCII decides every match.
    std::array<char, longestExtensionBytes> lowered{};
    const std::optional<size_t> length = lowerToAscii(ext, lowered);
    if (!length) return std::nullopt;
    const auto& map = ItemCategoryMaps::longMap();
    const auto found = map.find(std::string_view(lowered.data(), *length));
    if (found == map.end()) return std::nullopt;
    return found->second;
}

} // namespace

std::string_view rawValue(ItemCategory category) { return info(category).raw; }

std::string_view title(ItemCategory category) { return info(category).title; }

std::optional<ItemCategory> itemCategory(std::string_view raw) {
    for (const CategoryInfo& entry : categoryInfo) {
        if (entry.raw == raw) return entry.category;
    }
    return std::nullopt;
}

namespace ItemCategoryMaps {

const std::unordered_map<uint64_t, ItemCategory>& shortMap() {
    static const auto map = [] {
        std::unordered_map<uint64_t, ItemCategory> m;
        for (const Extension& e : extensions) {
            if (e.text.size() <= shortExtensionBytes) m.emplace(key(e.text), e.category);
        }
        return m;
    }();
    return map;
}

const std::unordered_map<std::string_view, ItemCategory>& longMap() {
    static const auto map = [] {
        std::unordered_map<std::string_view, ItemCategory> m;
        for (const Extension& e : extensions) {
            if (e.text.size() > shortExtensionBytes) m.emplace(e.text, e.category);
        }
        return m;
    }();
    return map;
}

} // namespace ItemCategoryMaps

std::optional<ItemCategory> classifyItem(std::string_view name, bool isPackage) {
    const size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0) return std::nullopt; // no dot, or a dot file
    const std::string_view ext = name.substr(dot + 1);
    if (ext.empty() || ext.size() > longestExtensionBytes) return std::nullopt;

    const std::optional<ItemCategory> found = lookUp(ext);
    if (!found) return std::nullopt;
    switch (*found) {
    case ItemCategory::app:
        if (!isPackage) return std::nullopt;
        // The system's own installers are app packages; only their names tell them apart.
        if (name.starts_with("Install macOS") || name.starts_with("Install OS X")) {
            return ItemCategory::installer;
        }
        return ItemCategory::app;
    case ItemCategory::diskImage:
        return found; // a sparse bundle is a package
    case ItemCategory::video:
    case ItemCategory::archive:
    case ItemCategory::installer:
        break;
    }
    if (isPackage) return std::nullopt;
    return found;
}

std::optional<ItemCategory> FileTree::category(NodeID id) const {
    const Kind k = kind(id);
    if (k != Kind::file && k != Kind::package) return std::nullopt;
    return classifyItem(nameBytes(id), k == Kind::package);
}

} // namespace hollowmere
