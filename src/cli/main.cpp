// hollowmere-scan: the scan engine from a terminal.

#include "map_picture.h"
#include "scan_options.h"
#include "scan_report.h"

#include "scankit/cancellation.h"
#include "scankit/disk_scanner.h"
#include "scankit/item_category.h"

#include <dlfcn.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <thread>

using namespace hollowmere;

namespace {

volatile std::sig_atomic_t interrupted = 0;

void onInterrupt(int) { interrupted = 1; }

int processorCount() {
    cpu_set_t set;
    if (::sched_getaffinity(0, sizeof set, &set) == 0) return CPU_COUNT(&set);
    return static_cast<int>(std::thread::hardware_concurrency());
}

size_t terminalWidth() {
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return 80;
}

// One line of progress on the terminal, rewritten in place.
void showProgress(const DiskScanner::Progress& p) {
    std::string line = cli::formatCount(static_cast<uint64_t>(p.items)) + " items  " + cli::formatBytes(p.bytes);
    if (!p.currentFolder.empty()) line += "  " + p.currentFolder;
    const size_t width = terminalWidth() - 1;
    if (line.size() > width) line.resize(width);
    std::fprintf(stderr, "\r\033[K%s", line.c_str());
    std::fflush(stderr);
}

void clearProgress() {
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
}

// Draws the map through the map module: beside the program in the build tree, in
// HOLLOWMERE_MAP_MODULE_DIR (relative to the program's folder) when installed. Loaded only
// now, so that a plain scan does not load Qt.
int writeMap(const FileTree& tree, const cli::ScanOptions& options) {
    using Entry = decltype(&hollowmere_write_map_picture);
    std::error_code ec;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", ec);
    // Only a full path: a bare name would send dlopen searching the library path.
    std::string error = "can't find the program's folder";
    Entry write = nullptr;
    if (!ec && program.is_absolute()) {
        const std::filesystem::path folder = program.parent_path();
        for (const auto& dir : {folder, folder / HOLLOWMERE_MAP_MODULE_DIR}) {
            if (void* module = ::dlopen((dir / HOLLOWMERE_MAP_MODULE).c_str(), RTLD_NOW | RTLD_LOCAL)) {
                write = reinterpret_cast<Entry>(::dlsym(module, cli::mapPictureEntry));
                if (write) break;
            }
            if (const char* reason = ::dlerror()) error = reason;
        }
    }
    if (!write) {
        std::fprintf(stderr, "hollowmere-scan: --map can't load its drawing module: %s\n", error.c_str());
        return 1;
    }
    const cli::MapPicture picture{*options.mapFile, options.mapSize, options.mapDark,
                                  cli::formatBytes(tree.size(FileTree::root()))};
    if (!write(tree, picture, error)) {
        std::fprintf(stderr, "hollowmere-scan: %s\n", error.c_str());
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    std::string error;
    const auto options = cli::parseOptions(std::vector<std::string>(argv + 1, argv + argc), error);
    if (!options) {
        std::fprintf(stderr, "hollowmere-scan: %s\nTry 'hollowmere-scan --help' for more information.\n", error.c_str());
        return 2;
    }
    if (options->help) {
        std::fputs(cli::usageText, stdout);
        return 0;
    }

    struct sigaction action{};
    action.sa_handler = onInterrupt;
    ::sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);

    DiskScanner scanner(options->folder, std::nullopt, options->workers ? options->workers : processorCount(), true);
    const auto start = std::chrono::steady_clock::now();

    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    std::optional<FileTree> tree;
    std::exception_ptr failure;
    std::thread scan([&] {
        try {
            tree.emplace(scanner.scan());
        } catch (...) {
            failure = std::current_exception();
        }
        std::lock_guard lock(mutex);
        done = true;
        finished.notify_all();
    });

    const bool showsProgress = ::isatty(STDERR_FILENO);
    {
        std::unique_lock lock(mutex);
        while (!finished.wait_for(lock, std::chrono::milliseconds(125), [&] { return done; })) {
            if (interrupted) scanner.cancel();
            if (showsProgress) {
                lock.unlock();
                showProgress(scanner.progress());
                lock.lock();
            }
        }
    }
    scan.join();
    if (showsProgress) clearProgress();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    if (failure) {
        try {
            std::rethrow_exception(failure);
        } catch (const CancellationError&) {
            std::fputs("hollowmere-scan: cancelled\n", stderr);
            return 130;
        } catch (const std::exception& e) {
            std::fprintf(stderr, "hollowmere-scan: %s\n", e.what());
            return 1;
        }
    }

    if (options->totalOnly) {
        std::printf("%llu\n", static_cast<unsigned long long>(tree->size(FileTree::root())));
    } else {
        // The JSON summary stays lean for scripts unless a list was asked for.
        const bool listsLargest = !options->json || options->kind || options->topGiven;
        const auto kind = options->kind ? itemCategory(*options->kind) : std::nullopt;
        const cli::ScanSummary summary = cli::summarize(*tree, seconds, listsLargest ? options->top : 0, kind);
        const std::string report = options->json ? cli::jsonReport(summary) : cli::textReport(summary);
        std::fwrite(report.data(), 1, report.size(), stdout);
    }
    std::fflush(stdout);
    if (options->csvFile) {
        try {
            tree->writeCSV(FileTree::root(), *options->csvFile);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "hollowmere-scan: %s\n", e.what());
            return 1;
        }
    }
    return options->mapFile ? writeMap(*tree, *options) : 0;
}
