#pragma once

#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

namespace hollowmere {

// Which folders (and items) the system needs where they are. Such items never go to the
// cleanup tray or the Trash; the app and the privileged helper ask the same function, so they
// always agree. The answer depends only on the path and the volume root; nothing is read from
// disk. Comparisons are exact, case-sensitive text comparisons.
namespace VitalFolders {

// One platform's lists. Both platforms share the algorithm; they differ in these tables and in
// where homes and their configuration folders live.
struct Rules {
    std::unordered_set<std::string_view> exact;      // vital themselves
    std::unordered_set<std::string_view> areas;      // vital with everything inside
    std::unordered_set<std::string_view> exceptions; // inside areas: vital themselves only
    std::unordered_set<std::string_view> metadataNames;   // first component below a volume root
    std::vector<std::string_view> metadataPrefixes;       // same, matched as name prefixes
    std::unordered_set<std::string_view> libraryNames;    // configuration folders (see below)
    std::unordered_set<std::string_view> homeNames;       // /<homes>/<user>/<name>
    // A volume whose top folders are shared with the system volume; empty: none. A path below
    // it that lies in one of the roots (searched in order) is folded onto the system volume.
    std::string_view dataVolume;
    std::vector<std::string_view> dataVolumeRoots;
    // Spellings of the same place folded onto one: `from` itself or `from` + "/"... gets `to`
    // in place of `from`.
    std::vector<std::pair<std::string_view, std::string_view>> aliases;

    std::string_view homesFolder;   // top folder holding the homes ("Users", "home")
    std::string_view libraryFolder; // top folder whose children may be library names
    std::string_view homeLibrary;   // where library names sit inside a home; empty: the home
    // Paths relative to a home that are vital with all their contents.
    std::vector<std::string_view> homeVitalTrees;
    // A top folder that is itself one more home for `homeVitalTrees`; empty: none.
    std::string_view extraHome;
};

// The macOS tables, the Linux tables, and the ones of the platform this runs on. Each is built
// once, on first use, thread-safely.
const Rules& macRules();
const Rules& linuxRules();
const Rules& platformRules();

// The path normalisation `refuses` applies to both of its arguments: repeated "/" collapsed,
// a trailing "/" dropped, data-volume paths folded onto the system volume, and aliases (macOS
// /var, /etc, /tmp under /private; Linux /var/run, /var/lock under /run) replaced.
std::string canonical(std::string_view path, const Rules& rules);
std::string canonical(std::string_view path);

// True when the item must stay where it is. `path` is the item's absolute path; `volumeRoot`
// the mount point of the volume holding it ("/" for the system volume). A path that is not
// absolute or has a "." or ".." component is always refused.
bool refuses(std::string_view path, std::string_view volumeRoot, const Rules& rules);
bool refuses(std::string_view path, std::string_view volumeRoot);

} // namespace VitalFolders

} // namespace hollowmere
