#include "vital_folders.h"

#include <array>

namespace hollowmere::VitalFolders {

namespace {

using namespace std::string_view_literals;

template <size_t N>
std::unordered_set<std::string_view> setOf(const std::array<std::string_view, N>& list) {
    return {list.begin(), list.end()};
}

template <size_t N>
std::vector<std::string_view> vectorOf(const std::array<std::string_view, N>& list) {
    return {list.begin(), list.end()};
}

// The macOS tables. The counts are checked so that a lost or doubled line cannot go unnoticed.
constexpr auto macExact = std::to_array<std::string_view>({
    "/", "/private", "/private/tmp", "/Library", "/Applications", "/Applications/Utilities",
    "/Users", "/Users/Shared", "/Users/Deleted Users", "/Volumes", "/cores", "/opt",
    "/opt/homebrew",
});
static_assert(macExact.size() == 13);

constexpr auto macAreas = std::to_array<std::string_view>({
    "/System", "/bin", "/sbin", "/usr", "/dev", "/Network", "/pkg", "/.vol", "/private/etc",
    "/private/var", "/Library/Apple", "/Library/Updates", "/Library/CoreAnalytics",
    "/Library/GPUBundles", "/Library/KernelCollections", "/Library/StagedExtensions",
    "/Library/StagedDriverExtensions", "/Library/Keychains",
    "/Library/Preferences/SystemConfiguration", "/Library/Application Support/com.apple.TCC",
    "/Library/LaunchDaemons", "/Library/PrivilegedHelperTools",
});
static_assert(macAreas.size() == 22);

constexpr auto macExceptions = std::to_array<std::string_view>({
    "/usr/local", "/private/var/log", "/private/var/tmp",
});
static_assert(macExceptions.size() == 3);

constexpr auto macMetadata = std::to_array<std::string_view>({
    ".Spotlight-V100", ".fseventsd", ".DocumentRevisions-V100", ".Trashes", ".TemporaryItems",
    ".MobileBackups", ".PKInstallSandboxManager", ".PKInstallSandboxManager-SystemSoftware",
    "\0\0\0\0HFS+ Private Data"sv, ".HFS+ Private Directory Data\r", ".journal",
    ".journal_info_block",
});
static_assert(macMetadata.size() == 12);

constexpr auto macLibraryNames = std::to_array<std::string_view>({
    "Application Support", "Audio", "Caches", "ColorPickers", "ColorSync", "Components",
    "Containers", "Developer", "Extensions", "Filesystems", "Fonts", "Frameworks",
    "Group Containers", "Input Methods", "Internet Plug-Ins", "Keyboard Layouts", "LaunchAgents",
    "Logs", "Mail", "PreferencePanes", "Preferences", "Printers", "QuickLook", "Screen Savers",
    "Scripts", "Services", "Sounds", "Spotlight", "StartupItems",
});
static_assert(macLibraryNames.size() == 29);

constexpr auto macHomeNames = std::to_array<std::string_view>({
    "Applications", "Desktop", "Documents", "Downloads", "Library", "Movies", "Music",
    "Pictures", "Public", "Sites", ".Trash",
});
static_assert(macHomeNames.size() == 11);

constexpr auto macDataVolumeRoots = std::to_array<std::string_view>({
    "/AppleInternal", "/Applications", "/Library", "/System/Library/Caches",
    "/System/Library/Assets", "/System/Library/PreinstalledAssets", "/System/Library/AssetsV2",
    "/System/Library/PreinstalledAssetsV2",
    "/System/Library/CoreServices/CoreTypes.bundle/Contents/Library", "/System/Library/Speech",
    "/Users", "/Volumes", "/cores", "/opt", "/pkg", "/private", "/usr/local", "/usr/libexec/cups",
    "/usr/share/snmp",
});
static_assert(macDataVolumeRoots.size() == 19);

// The Linux tables.
constexpr auto linuxExact = std::to_array<std::string_view>({
    "/", "/home", "/root", "/media", "/mnt", "/opt", "/srv", "/tmp", "/var", "/var/tmp",
    "/var/log", "/var/cache", "/usr/local", "/snap",
});
static_assert(linuxExact.size() == 14);

constexpr auto linuxAreas = std::to_array<std::string_view>({
    "/bin", "/sbin", "/lib", "/lib32", "/lib64", "/libx32", "/usr", "/boot", "/efi", "/etc",
    "/dev", "/proc", "/sys", "/run", "/var/lib", "/var/spool", "/var/mail", "/lost+found",
});
static_assert(linuxAreas.size() == 18);

constexpr auto linuxExceptions = std::to_array<std::string_view>({"/usr/local"});

constexpr auto linuxMetadata = std::to_array<std::string_view>({
    "lost+found", ".Trash", ".snapshots", "System Volume Information", "$RECYCLE.BIN",
    ".Spotlight-V100", ".fseventsd", ".Trashes",
});
constexpr auto linuxMetadataPrefixes = std::to_array<std::string_view>({".Trash-"});

constexpr auto linuxConfigNames = std::to_array<std::string_view>({
    ".config", ".local", ".cache", ".var", "snap",
});

constexpr auto linuxHomeNames = std::to_array<std::string_view>({
    "Desktop", "Documents", "Downloads", "Music", "Pictures", "Public", "Templates", "Videos",
});

constexpr auto linuxHomeVitalTrees = std::to_array<std::string_view>({
    ".ssh", ".gnupg", ".local/share/keyrings", ".pki",
});

Rules makeMacRules() {
    Rules r;
    r.exact = setOf(macExact);
    r.areas = setOf(macAreas);
    r.exceptions = setOf(macExceptions);
    r.metadataNames = setOf(macMetadata);
    r.libraryNames = setOf(macLibraryNames);
    r.homeNames = setOf(macHomeNames);
    r.dataVolume = "/System/Volumes/Data";
    r.dataVolumeRoots = vectorOf(macDataVolumeRoots);
    r.aliases = {{"/var", "/private/var"}, {"/etc", "/private/etc"}, {"/tmp", "/private/tmp"}};
    r.homesFolder = "Users";
    r.libraryFolder = "Library";
    r.homeLibrary = "Library";
    r.homeVitalTrees = {"Library/Keychains"};
    return r;
}

Rules makeLinuxRules() {
    Rules r;
    r.exact = setOf(linuxExact);
    r.areas = setOf(linuxAreas);
    r.exceptions = setOf(linuxExceptions);
    r.metadataNames = setOf(linuxMetadata);
    r.metadataPrefixes = vectorOf(linuxMetadataPrefixes);
    r.libraryNames = setOf(linuxConfigNames);
    r.homeNames = setOf(linuxHomeNames);
    // /var/run and /var/lock are links into /run on every current distribution; folding them
    // keeps the link and what lies behind it as vital as /run itself.
    r.aliases = {{"/var/run", "/run"}, {"/var/lock", "/run/lock"}};
    r.homesFolder = "home";
    r.libraryFolder = "root";
    r.homeVitalTrees = vectorOf(linuxHomeVitalTrees);
    r.extraHome = "root";
    return r;
}

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// `text` is `prefix` itself or lies below it.
bool isAtOrBelow(std::string_view text, std::string_view prefix) {
    return startsWith(text, prefix) && (text.size() == prefix.size() || text[prefix.size()] == '/');
}

// `text` lies strictly below `prefix`.
bool isBelow(std::string_view text, std::string_view prefix) {
    return text.size() > prefix.size() && startsWith(text, prefix) && text[prefix.size()] == '/';
}

// The non-empty components of a path, as views into it. Paths are short; a small fixed array
// keeps the common case free of allocation, and deeper paths only need the first few.
struct Components {
    static constexpr size_t kept = 5;
    std::array<std::string_view, kept> part{};
    size_t count = 0;
    bool hasDotComponent = false;

    explicit Components(std::string_view path) {
        size_t start = 0;
        while (start <= path.size()) {
            size_t end = path.find('/', start);
            if (end == std::string_view::npos) end = path.size();
            if (end > start) {
                const std::string_view piece = path.substr(start, end - start);
                if (piece == "." || piece == "..") hasDotComponent = true;
                if (count < kept) part[count] = piece;
                ++count;
            }
            start = end + 1;
        }
    }

    // The text from component k to the end of the path.
    std::string_view from(size_t k, std::string_view path) const {
        return path.substr(static_cast<size_t>(part[k].data() - path.data()));
    }
};

bool inVitalTree(std::string_view relative, const Rules& rules) {
    for (std::string_view tree : rules.homeVitalTrees) {
        if (isAtOrBelow(relative, tree)) return true;
    }
    return false;
}

// The rules that depend on where homes and their configuration folders live.
bool isVitalHomePath(std::string_view p, const Rules& rules) {
    const Components c(p);
    if (c.count == 0) return false;
    if (c.count == 2 && c.part[0] == rules.libraryFolder && rules.libraryNames.contains(c.part[1])) {
        return true;
    }
    if (c.part[0] == rules.homesFolder) {
        if (c.count == 2) return true; // a home folder
        if (c.count == 3 && rules.homeNames.contains(c.part[2])) return true;
        if (rules.homeLibrary.empty()) {
            if (c.count == 3 && rules.libraryNames.contains(c.part[2])) return true;
        } else if (c.count == 4 && c.part[2] == rules.homeLibrary &&
                   rules.libraryNames.contains(c.part[3])) {
            return true;
        }
        if (c.count >= 3 && inVitalTree(c.from(2, p), rules)) return true;
    }
    if (!rules.extraHome.empty() && c.part[0] == rules.extraHome && c.count >= 2 &&
        inVitalTree(c.from(1, p), rules)) {
        return true;
    }
    return false;
}

} // namespace

const Rules& macRules() {
    static const Rules rules = makeMacRules();
    return rules;
}

const Rules& linuxRules() {
    static const Rules rules = makeLinuxRules();
    return rules;
}

const Rules& platformRules() {
#if defined(__APPLE__)
    return macRules();
#else
    return linuxRules();
#endif
}

std::string canonical(std::string_view path, const Rules& rules) {
    // Repeated slashes name the same place; collapsed, "//usr" cannot slip past "/usr".
    std::string p;
    p.reserve(path.size() + 16);
    for (char ch : path) {
        if (ch == '/' && !p.empty() && p.back() == '/') continue;
        p.push_back(ch);
    }
    if (p.size() > 1 && p.back() == '/') p.pop_back();

    if (!rules.dataVolume.empty()) {
        if (p == rules.dataVolume) return "/";
        if (isBelow(p, rules.dataVolume)) {
            const std::string_view r = std::string_view(p).substr(rules.dataVolume.size());
            for (std::string_view root : rules.dataVolumeRoots) {
                if (isAtOrBelow(r, root)) {
                    p = std::string(r);
                    break;
                }
            }
        }
    }

    for (const auto& [from, to] : rules.aliases) {
        if (isAtOrBelow(p, from)) {
            p.replace(0, from.size(), to);
            break;
        }
    }
    return p;
}

std::string canonical(std::string_view path) { return canonical(path, platformRules()); }

bool refuses(std::string_view path, std::string_view volumeRoot, const Rules& rules) {
    const std::string p = canonical(path, rules);
    const std::string v = canonical(volumeRoot, rules);

    if (p == v) return true; // a volume root is always vital
    if (rules.exact.contains(p) || rules.areas.contains(p) || rules.exceptions.contains(p)) {
        return true;
    }
    // A relative path, or one with a "." or ".." component, could name any place at all; such
    // a path is never trusted.
    if (p.empty() || p.front() != '/' || Components(p).hasDotComponent) return true;

    if (startsWith(p, v)) {
        const std::string_view r = v == "/" ? std::string_view(p) : std::string_view(p).substr(v.size());
        const Components below(r);
        if (below.count > 0) {
            const std::string_view first = below.part[0];
            bool metadata = rules.metadataNames.contains(first);
            for (std::string_view prefix : rules.metadataPrefixes) {
                metadata = metadata || startsWith(first, prefix);
            }
            if (metadata && (v == "/" || isBelow(p, v))) return true;
        }
    }

    // Inside a system area, unless inside one of its exceptions.
    size_t area = 0, exception = 0;
    for (std::string_view s : rules.areas) {
        if (s.size() > area && isBelow(p, s)) area = s.size();
    }
    for (std::string_view e : rules.exceptions) {
        if (e.size() > exception && isBelow(p, e)) exception = e.size();
    }
    if (area > exception) return true;

    return isVitalHomePath(p, rules);
}

bool refuses(std::string_view path, std::string_view volumeRoot) {
    return refuses(path, volumeRoot, platformRules());
}

} // namespace hollowmere::VitalFolders
