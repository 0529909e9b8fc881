// tree_generator: writes a deterministic, realistic folder tree for the scan benchmarks.
//
//   tree_generator --entries N [--seed S] [--plan] DESTINATION
//
// The shape depends only on N and the seed: fan-out from 1 to 2,000, depth up to 10 below the
// root, mostly small files with real contents (so blocks are allocated), some empty files and
// folders, a few hundred hard links and symbolic links (dangling, long, and pointing at
// ancestors), a few FIFOs, and some non-ASCII names. The whole plan is worked out once without
// touching the disk, to check free space and inodes, and then again while writing. DESTINATION
// must not exist yet. The summary goes to standard output as key=value lines.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace hollowmere {

namespace {

// Bumped whenever the shape changes, so that a stored tree of an older shape is regenerated.
constexpr int generatorVersion = 1;

constexpr int maxDepth = 10;
constexpr uint64_t maxFanOut = 2000;

// splitmix64: fixed, portable, and fast enough for a million draws.
class Random {
public:
    explicit Random(uint64_t seed) : state_(seed) {}

    uint64_t next() {
        uint64_t z = (state_ += 0x9e3779b97f4a7c15ull);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
        return z ^ (z >> 31);
    }
    // Uniform in [0, n), n > 0.
    uint64_t below(uint64_t n) { return next() % n; }
    // Uniform in [lo, hi].
    uint64_t between(uint64_t lo, uint64_t hi) { return lo + below(hi - lo + 1); }
    // True with probability perMillion / 1,000,000.
    bool chance(uint64_t perMillion) { return below(1'000'000) < perMillion; }
    // Roughly log-uniform in [lo, hi] with integers only, so the plan is the same everywhere:
    // a power-of-two band first, then a point inside it.
    uint64_t logUniform(uint64_t lo, uint64_t hi) {
        if (lo < 1) lo = 1;
        int loBit = 63 - __builtin_clzll(lo);
        int hiBit = 63 - __builtin_clzll(hi);
        int band = loBit + static_cast<int>(below(static_cast<uint64_t>(hiBit - loBit + 1)));
        uint64_t bandLo = std::max(lo, uint64_t{1} << band);
        uint64_t bandHi = band >= 63 ? hi : std::min(hi, (uint64_t{1} << (band + 1)) - 1);
        return between(bandLo, bandHi);
    }

private:
    uint64_t state_;
};

constexpr std::array<std::string_view, 40> words = {
    "report", "photo",  "index",   "main",    "config", "notes",  "data",    "backup",  "draft",   "image",
    "module", "test",   "utils",   "invoice", "song",   "video",  "archive", "cache",   "log",     "readme",
    "player", "window", "service", "client",  "server", "parser", "theme",   "schema",  "package", "build",
    "lesson", "recipe", "summary", "chapter", "scan",   "budget", "meeting", "project", "sample",  "export",
};
// UTF-8 words for the non-ASCII names.
constexpr std::array<std::string_view, 12> foreignWords = {
    "café",     "Müller",   "naïve",   "日本語", "данные", "Ελληνικά",
    "résumé",   "señal",    "Zürich",  "文件夹", "crème brûlée", "📷 Fotos",
};
constexpr std::array<std::string_view, 24> extensions = {
    ".txt", ".jpg", ".png", ".js",  ".py",   ".c",    ".h",  ".o",   ".json", ".md",  ".mp3", ".pdf",
    ".html", ".css", ".xml", ".csv", ".log", ".yaml", ".rs", ".cpp", ".svg",  ".ttf", ".zip", "",
};
constexpr std::array<std::string_view, 10> folderWords = {
    "src", "lib", "docs", "assets", "node_modules", ".git", "build", "Photos", "Music", "projects",
};

struct Summary {
    uint64_t entries = 0, files = 0, emptyFiles = 0, folders = 0, symlinks = 0, hardLinks = 0, fifos = 0;
    uint64_t fileBytes = 0;     // bytes written into regular files
    uint64_t plannedBytes = 0;  // the estimate of allocated bytes, folders included
    int maxDepthSeen = 0;
    uint64_t maxFanOutSeen = 0;
    uint64_t dropped = 0;       // budget left over where the depth limit stopped it
    std::array<uint64_t, maxDepth + 2> entriesAtDepth{}; // the root's children are at depth 1
};

struct PendingFolder {
    std::string path;
    int depth;
    uint64_t budget; // entries still to create below this folder
};

// Closes a descriptor when it goes out of scope.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }

private:
    int fd_;
};

[[noreturn]] void fail(const std::string& what, int error) {
    throw std::runtime_error(what + ": " + std::strerror(error));
}

class TreeGenerator {
public:
    TreeGenerator(uint64_t entries, uint64_t seed, uint64_t blockSize)
        : entries_(entries), seed_(seed), blockSize_(blockSize) {}

    // Works out the tree; writes it under `destination` when `write` is set.
    Summary run(const std::string& destination, bool write) {
        write_ = write;
        summary_ = {};
        random_ = Random(seed_);
        linkable_.clear();
        filesSeen_ = 0;
        if (write_) {
            content_.resize(1 << 20);
            Random fill(seed_ ^ 0x5eed);
            for (auto& byte : content_) byte = static_cast<char>(fill.next());
            if (::mkdir(destination.c_str(), 0755) != 0) fail(destination, errno);
        }
        std::vector<PendingFolder> stack;
        stack.push_back({destination, 0, entries_});
        while (!stack.empty()) {
            PendingFolder folder = std::move(stack.back());
            stack.pop_back();
            fillFolder(folder, stack);
        }
        if (write_) {
            // Write everything back now, so that the scans that follow measure only reading.
            Descriptor root(::open(destination.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
            if (root.get() < 0 || ::syncfs(root.get()) != 0) fail(destination, errno);
        }
        return summary_;
    }

private:
    // The largest subtree a folder at `depth` may be given, so that the depth limit leaves
    // nothing over: 2,000 entries at the deepest level, six times more per level above.
    static uint64_t capacity(int depth) {
        uint64_t c = maxFanOut;
        for (int d = depth; d < maxDepth && c < (uint64_t{1} << 50); ++d) c *= 6;
        return c;
    }

    uint64_t sampleFanOut() {
        const uint64_t roll = random_.below(1000);
        if (roll < 15) return random_.between(300, maxFanOut); // photo folders, caches
        if (roll < 200) return random_.logUniform(20, 300);
        return random_.logUniform(1, 20);
    }

    uint64_t sampleFileSize() {
        const uint64_t roll = random_.below(1000);
        if (roll < 180) return 0;
        if (roll < 900) return random_.logUniform(1, 4096);
        if (roll < 990) return random_.logUniform(4097, 16384);
        if (roll < 999) return random_.logUniform(16385, 131072);
        return random_.logUniform(131073, 1 << 20);
    }

    std::string fileName(uint64_t index) {
        std::string name;
        const uint64_t roll = random_.below(1000);
        if (roll < 30) {
            name = foreignWords[random_.below(foreignWords.size())];
        } else {
            name = words[random_.below(words.size())];
            if (roll < 80) name[0] = static_cast<char>(name[0] - 'a' + 'A');
        }
        name += random_.chance(100'000) ? " " : "_";
        name += std::to_string(index);
        if (random_.chance(2'000)) name += std::string(120, 'x'); // a few long names
        name += extensions[random_.below(extensions.size())];
        return name;
    }

    std::string folderName(uint64_t index) {
        const uint64_t roll = random_.below(1000);
        std::string name;
        if (roll < 20) name = foreignWords[random_.below(foreignWords.size())];
        else if (roll < 300) name = folderWords[random_.below(folderWords.size())];
        else name = words[random_.below(words.size())];
        return name + "-" + std::to_string(index);
    }

    // The integer k-th root of n, rounded down.
    static uint64_t integerRoot(uint64_t n, int k) {
        uint64_t lo = 1, hi = std::min<uint64_t>(n, 1u << 26);
        while (lo < hi) {
            const uint64_t mid = (lo + hi + 1) / 2;
            uint64_t power = 1;
            for (int i = 0; i < k && power <= n; ++i) power *= mid;
            if (power <= n) lo = mid;
            else hi = mid - 1;
        }
        return lo;
    }

    void fillFolder(const PendingFolder& folder, std::vector<PendingFolder>& stack) {
        summary_.maxDepthSeen = std::max(summary_.maxDepthSeen, folder.depth);
        std::vector<uint64_t> childBudgets;
        uint64_t fileCount = 0;

        const uint64_t childCapacity = capacity(folder.depth + 1);
        if (folder.budget == 0) {
            // An empty folder.
        } else if (folder.depth < maxDepth && folder.budget >= 2 && folder.budget - 1 <= childCapacity &&
                   random_.chance(60'000)) {
            // A chain link (src/main/java/...): one subfolder holding everything.
            childBudgets.push_back(folder.budget - 1);
        } else {
            // `count` direct children; the `rest` of the budget goes to the subfolders among them.
            uint64_t count = std::min(folder.budget, folder.depth == maxDepth ? maxFanOut : sampleFanOut());
            uint64_t rest = folder.budget - count;
            uint64_t folderCount = 0;
            if (folder.depth < maxDepth) {
                if (rest > 0) {
                    // Enough subfolders for the budget to run out around depth 6 (the uneven
                    // split below sends some of it deeper), and never more than they can hold.
                    const uint64_t byShape = count * random_.between(5, 25) / 100;
                    const uint64_t byBudget = integerRoot(rest / 16 + 1, std::max(1, 6 - folder.depth));
                    const uint64_t needed = (rest + childCapacity - 1) / childCapacity;
                    folderCount = std::min({maxFanOut, rest, std::max({uint64_t{1}, byShape, byBudget, needed})});
                    if (folderCount > count) {
                        count = folderCount;
                        rest = folder.budget - count;
                    }
                } else if (count >= 2 && random_.chance(80'000)) {
                    folderCount = random_.between(1, (count + 3) / 4); // empty folders
                }
            }
            // Split the rest unevenly, as real trees are, within each child's capacity.
            std::vector<uint64_t> weights(folderCount);
            uint64_t weightSum = 0;
            for (auto& w : weights) {
                const uint64_t u = random_.between(1, 1000);
                w = u * u;
                weightSum += w;
            }
            uint64_t given = 0;
            for (uint64_t i = 0; i < folderCount; ++i) {
                // rest < 2^26 and weights <= 10^6: the product fits 64 bits.
                const uint64_t share = std::min(childCapacity, rest * weights[i] / weightSum);
                childBudgets.push_back(share);
                given += share;
            }
            for (uint64_t i = 0; i < folderCount && given < rest; ++i) {
                const uint64_t room = childCapacity - childBudgets[i];
                const uint64_t more = std::min(room, rest - given);
                childBudgets[i] += more;
                given += more;
            }
            summary_.dropped += rest - given;
            fileCount = count - folderCount;
        }
        const uint64_t children = fileCount + childBudgets.size();
        summary_.maxFanOutSeen = std::max(summary_.maxFanOutSeen, children);
        summary_.entriesAtDepth[static_cast<size_t>(folder.depth) + 1] += children;
        // A folder's own blocks: one, and another for about every 100 entries (ext4's records).
        summary_.plannedBytes += blockSize_ * (1 + children * 40 / blockSize_);
        if (children == 0) return;

        std::optional<Descriptor> fd;
        if (write_) {
            fd.emplace(::open(folder.path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
            if (fd->get() < 0) fail(folder.path, errno);
        }
        const int dirFd = fd ? fd->get() : -1;

        uint64_t index = 0;
        for (uint64_t i = 0; i < fileCount; ++i) addFile(folder.path, dirFd, index++);
        for (uint64_t budget : childBudgets) {
            std::string name = folderName(index++);
            if (write_ && ::mkdirat(dirFd, name.c_str(), 0755) != 0) fail(folder.path + "/" + name, errno);
            count(1);
            ++summary_.folders;
            stack.push_back({folder.path + "/" + name, folder.depth + 1, budget});
        }
    }

    void count(uint64_t n) {
        summary_.entries += n;
        if (summary_.entries / 100'000 != (summary_.entries - n) / 100'000 && write_) {
            std::fprintf(stderr, "tree_generator: %llu entries\n", static_cast<unsigned long long>(summary_.entries));
        }
    }

    void addFile(const std::string& folderPath, int dirFd, uint64_t index) {
        std::string name = fileName(index);
        count(1);
        const uint64_t roll = random_.below(1'000'000);
        if (roll < 300) {
            addSymlink(folderPath, dirFd, name);
        } else if (roll < 600 && !linkable_.empty()) {
            const std::string& target = linkable_[random_.below(linkable_.size())];
            if (write_ && ::linkat(AT_FDCWD, target.c_str(), dirFd, name.c_str(), 0) != 0) fail(target, errno);
            ++summary_.hardLinks;
        } else if (roll < 610) {
            if (write_ && ::mkfifoat(dirFd, name.c_str(), 0644) != 0) fail(folderPath + "/" + name, errno);
            ++summary_.fifos;
        } else {
            addRegular(folderPath, dirFd, name);
        }
    }

    void addSymlink(const std::string& folderPath, int dirFd, const std::string& name) {
        std::string target;
        switch (random_.below(4)) {
        case 0: target = "report_1.txt"; break;                // a sibling that may or may not exist
        case 1: target = "../.."; break;                       // an ancestor: a loop when followed
        case 2: target = "missing/" + name; break;             // dangling
        default: target = "../" + std::string(90, 'l') + "/long-target"; break; // stored in a block
        }
        if (write_ && ::symlinkat(target.c_str(), dirFd, name.c_str()) != 0) fail(folderPath + "/" + name, errno);
        ++summary_.symlinks;
        // ext4 keeps targets under 60 bytes in the inode.
        if (target.size() >= 60) summary_.plannedBytes += blockSize_;
    }

    void addRegular(const std::string& folderPath, int dirFd, const std::string& name) {
        const uint64_t size = sampleFileSize();
        ++summary_.files;
        if (size == 0) ++summary_.emptyFiles;
        summary_.fileBytes += size;
        summary_.plannedBytes += (size + blockSize_ - 1) / blockSize_ * blockSize_;
        // Keep a fixed-size random sample of non-empty files as hard-link targets.
        if (size > 0) {
            ++filesSeen_;
            const std::string path = folderPath + "/" + name;
            if (linkable_.size() < 4096) linkable_.push_back(path);
            else if (const uint64_t slot = random_.below(filesSeen_); slot < linkable_.size()) linkable_[slot] = path;
        }
        if (!write_) return;
        Descriptor file(::openat(dirFd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
        if (file.get() < 0) fail(folderPath + "/" + name, errno);
        for (uint64_t written = 0; written < size;) {
            const size_t chunk = static_cast<size_t>(std::min<uint64_t>(size - written, content_.size()));
            const ssize_t n = ::write(file.get(), content_.data(), chunk);
            if (n < 0) {
                if (errno == EINTR) continue;
                fail(folderPath + "/" + name, errno);
            }
            written += static_cast<uint64_t>(n);
        }
    }

    uint64_t entries_;
    uint64_t seed_;
    uint64_t blockSize_;
    bool write_ = false;
    Summary summary_;
    Random random_{0};
    std::vector<std::string> linkable_;
    uint64_t filesSeen_ = 0;
    std::vector<char> content_;
};

void printSummary(const Summary& s, uint64_t entries, uint64_t seed) {
    std::printf("version=%d\nrequested=%llu\nseed=%llu\nentries=%llu\nfiles=%llu\nempty_files=%llu\nfolders=%llu\n"
                "symlinks=%llu\nhard_links=%llu\nfifos=%llu\nfile_bytes=%llu\nplanned_bytes=%llu\nmax_depth=%d\n"
                "max_fan_out=%llu\n",
                generatorVersion, static_cast<unsigned long long>(entries), static_cast<unsigned long long>(seed),
                static_cast<unsigned long long>(s.entries), static_cast<unsigned long long>(s.files),
                static_cast<unsigned long long>(s.emptyFiles), static_cast<unsigned long long>(s.folders),
                static_cast<unsigned long long>(s.symlinks), static_cast<unsigned long long>(s.hardLinks),
                static_cast<unsigned long long>(s.fifos), static_cast<unsigned long long>(s.fileBytes),
                static_cast<unsigned long long>(s.plannedBytes), s.maxDepthSeen,
                static_cast<unsigned long long>(s.maxFanOutSeen));
    std::printf("entries_by_depth=");
    for (size_t d = 1; d < s.entriesAtDepth.size(); ++d) {
        std::printf("%s%llu", d > 1 ? "," : "", static_cast<unsigned long long>(s.entriesAtDepth[d]));
    }
    std::printf("\ndropped=%llu\n", static_cast<unsigned long long>(s.dropped));
}

int usage() {
    std::fputs("usage: tree_generator --entries N [--seed S] [--plan] DESTINATION\n"
               "       tree_generator --version\n",
               stderr);
    return 64;
}

bool parseNumber(const char* text, uint64_t& value) {
    char* end = nullptr;
    errno = 0;
    const unsigned long long v = std::strtoull(text, &end, 10);
    if (errno != 0 || end == text || *end != 0 || text[0] == '-') return false;
    value = v;
    return true;
}

} // namespace

} // namespace hollowmere

int main(int argc, char** argv) {
    using namespace hollowmere;
    uint64_t entries = 0, seed = 1;
    bool planOnly = false;
    std::string destination;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--version") {
            std::printf("%d\n", generatorVersion);
            return 0;
        } else if (arg == "--entries" && i + 1 < argc) {
            if (!parseNumber(argv[++i], entries)) return usage();
        } else if (arg == "--seed" && i + 1 < argc) {
            if (!parseNumber(argv[++i], seed)) return usage();
        } else if (arg == "--plan") {
            planOnly = true;
        } else if (!arg.empty() && arg[0] != '-' && destination.empty()) {
            destination = arg;
        } else {
            return usage();
        }
    }
    if (entries == 0 || entries > 50'000'000 || destination.empty()) return usage();
    while (destination.size() > 1 && destination.back() == '/') destination.pop_back();

    // Blocks and free space are those of the folder that will hold the tree.
    const size_t slash = destination.rfind('/');
    const std::string parent = slash == std::string::npos ? "." : slash == 0 ? "/" : destination.substr(0, slash);
    struct statvfs fs{};
    if (::statvfs(parent.c_str(), &fs) != 0) {
        std::fprintf(stderr, "tree_generator: %s: %s\n", parent.c_str(), std::strerror(errno));
        return 1;
    }
    const uint64_t blockSize = fs.f_frsize ? fs.f_frsize : fs.f_bsize;

    try {
        TreeGenerator generator(entries, seed, blockSize);
        const Summary plan = generator.run(destination, false);
        if (planOnly) {
            printSummary(plan, entries, seed);
            return 0;
        }
        // Keep 10% over the estimate and 1 GiB beyond it free for everyone else.
        const uint64_t available = static_cast<uint64_t>(fs.f_bavail) * blockSize;
        const uint64_t needed = plan.plannedBytes + plan.plannedBytes / 10 + (uint64_t{1} << 30);
        if (available < needed) {
            std::fprintf(stderr, "tree_generator: %s has %llu MiB free; the tree needs about %llu MiB\n",
                         parent.c_str(), static_cast<unsigned long long>(available >> 20),
                         static_cast<unsigned long long>(needed >> 20));
            return 3;
        }
        // Some file systems (btrfs) report no inode limit at all.
        if (fs.f_files != 0 && fs.f_favail < plan.entries + plan.entries / 10) {
            std::fprintf(stderr, "tree_generator: %s has %llu free inodes; the tree needs %llu\n", parent.c_str(),
                         static_cast<unsigned long long>(fs.f_favail), static_cast<unsigned long long>(plan.entries));
            return 3;
        }
        const Summary made = generator.run(destination, true);
        printSummary(made, entries, seed);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tree_generator: %s\n", e.what());
        return 1;
    }
    return 0;
}
