// hollowmere-scan: the scan engine from a terminal.

#include "scan_options.h"
#include "scan_report.h"

#include "scankit/cancellation.h"
#include "scankit/disk_scanner.h"
#include "scankit/item_category.h"

#include <sched.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
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
        return 0;
    }
    // The JSON summary stays lean for scripts unless a list was asked for.
    const bool listsLargest = !options->json || options->kind || options->topGiven;
    const auto kind = options->kind ? itemCategory(*options->kind) : std::nullopt;
    const cli::ScanSummary summary = cli::summarize(*tree, seconds, listsLargest ? options->top : 0, kind);
    const std::string report = options->json ? cli::jsonReport(summary) : cli::textReport(summary);
    std::fwrite(report.data(), 1, report.size(), stdout);
    return 0;
}
