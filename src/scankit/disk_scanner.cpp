#include "disk_scanner.h"

#include "cancellation.h"
#include "directory_reader.h"
#include "unique_fd.h"

#include <pthread.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <thread>

namespace hollowmere {

namespace {

constexpr size_t minimumReservation = 65'536;
constexpr size_t maximumReservation = 20'000'000;
constexpr size_t nameBytesPerNode = 40;

void nameThisThread(const std::string& name) {
    // Linux keeps at most 15 bytes of a thread's name.
    ::pthread_setname_np(::pthread_self(), name.substr(0, 15).c_str());
}

std::string normalisedRoot(std::string path, bool resolvesLinks) {
    if (resolvesLinks) {
        if (char* resolved = ::realpath(path.c_str(), nullptr)) {
            path = resolved;
            std::free(resolved);
        }
    }
    if (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

std::string defaultName(const std::string& path) {
    if (path == "/") return "/";
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

DiskScanner::Failure::Failure(std::string path, int32_t code)
    : path_(std::move(path))
    , code_(code)
    , message_("couldn't read " + path_ + ": " + std::generic_category().message(code)) {}

bool DiskScanner::Failure::isGone() const { return code_ == ENOENT || code_ == ENOTDIR; }

DiskScanner::DiskScanner(std::string root, std::optional<std::string> name, int workerCount, bool resolvesLinks)
    : rootPath_(normalisedRoot(std::move(root), resolvesLinks))
    , rootName_(name ? *name : defaultName(rootPath_))
    , workerCount_(workerCount < 2 ? 1 : workerCount) {}

DiskScanner::Progress DiskScanner::progress() const {
    Progress p;
    p.items = items_.load(std::memory_order_relaxed);
    p.bytes = bytes_.load(std::memory_order_relaxed);
    std::lock_guard lock(currentFolderMutex_);
    p.currentFolder = currentFolder_;
    return p;
}

void DiskScanner::cancel() {
    cancelled_.store(true);
    queue_.stop();
}

FileTree DiskScanner::scan() {
    // The walk runs on its own named coordinator thread; this call waits for it.
    std::optional<FileTree> tree;
    std::exception_ptr error;
    std::thread coordinator([&] {
        nameThisThread("Hollowmere scan");
        try {
            tree.emplace(run());
        } catch (...) {
            error = std::current_exception();
        }
    });
    coordinator.join();
    if (error) std::rethrow_exception(error);
    return std::move(*tree);
}

size_t DiskScanner::reservation() const {
    // The volume's used inodes bound the items a scan of it can find.
    struct statvfs fs{};
    uint64_t estimate = 0;
    if (::statvfs(rootPath_.c_str(), &fs) == 0 && fs.f_files > fs.f_ffree) estimate = fs.f_files - fs.f_ffree;
    const uint64_t r = estimate + estimate / 4;
    return static_cast<size_t>(std::clamp<uint64_t>(r, minimumReservation, maximumReservation));
}

FileTree DiskScanner::run() {
    const Date start = Clock::now();

    {
        UniqueFd root(DirectoryReader::openFolder(rootPath_.c_str()));
        if (!root && errno != 0) throw Failure::unreadable(rootPath_, errno);
    }

    {
        const size_t r = reservation();
        std::lock_guard lock(storageMutex_);
        storage_.nodes.reserve(r);
        storage_.names.reserve(r * nameBytesPerNode);
        const size_t nameLength = std::min(rootName_.size(), FileTree::maxNameLength);
        storage_.names.assign(rootName_.begin(), rootName_.begin() + static_cast<ptrdiff_t>(nameLength));
        storage_.nodes.assign(1, FileTree::Node{0, 0, -1, 0, 0, 0, static_cast<uint16_t>(nameLength),
                                                static_cast<uint8_t>(FileTree::Kind::folder), 0});
    }

    queue_.push(WorkItem{0, rootPath_});

    std::vector<std::thread> workers;
    workers.reserve(static_cast<size_t>(workerCount_));
    for (int i = 1; i <= workerCount_; ++i) workers.emplace_back([this, i] { work(i); });
    for (std::thread& worker : workers) worker.join();

    hardLinks_.clear();
    if (cancelled_.load()) throw CancellationError();

    std::lock_guard lock(storageMutex_);
    if (workerError_) std::rethrow_exception(workerError_);
    if (overflowed_) throw TooLarge();
    FileTree tree(rootPath_, std::move(storage_.nodes), std::move(storage_.names));
    storage_ = {};
    tree.setScannedAt(start);
    tree.finish();
    return tree;
}

void DiskScanner::work(int number) {
    // Workers keep a 15-byte name distinct from the coordinator's "Hollowmere scan".
    nameThisThread("Hollowmere w" + std::to_string(number));
    try {
        DirectoryReader reader;
        Listing listing;
        std::vector<WorkItem> newWork;
        int64_t committed = 0;
        while (std::optional<WorkItem> item = queue_.next()) {
            if (willRead) willRead(item->path);
            newWork.clear();
            if (const int error = reader.read(item->path, listing, hardLinks_); error != 0) {
                // A folder that vanished since it was listed stays an ordinary empty folder.
                if (error != ENOENT) markRestricted(item->node);
                queue_.finish(newWork);
                continue;
            }
            commit(*item, listing, newWork);
            if (++committed % 64 == 1) {
                std::lock_guard lock(currentFolderMutex_);
                currentFolder_ = item->path;
            }
            queue_.finish(newWork);
        }
    } catch (...) {
        {
            std::lock_guard lock(storageMutex_);
            if (!workerError_) workerError_ = std::current_exception();
        }
        queue_.stop();
    }
}

void DiskScanner::markRestricted(int32_t node) {
    std::lock_guard lock(storageMutex_);
    storage_.nodes[static_cast<size_t>(node)].flags |= static_cast<uint8_t>(FileTree::Flags::restricted);
}

void DiskScanner::commit(const WorkItem& item, const Listing& listing, std::vector<WorkItem>& newWork) {
    const size_t n = listing.entries.size();
    if (n == 0) return;

    uint64_t bytes = 0;
    int32_t first = 0;
    {
        std::lock_guard lock(storageMutex_);
        auto& nodes = storage_.nodes;
        auto& names = storage_.names;
        if (nodes.size() + n > FileTree::maxNodes || names.size() + listing.names.size() > FileTree::maxNameBytes) {
            overflowed_ = true;
            queue_.stop();
            return;
        }
        first = static_cast<int32_t>(nodes.size());
        const auto base = static_cast<uint32_t>(names.size());
        names.insert(names.end(), listing.names.begin(), listing.names.end());
        for (const Pending& p : listing.entries) {
            nodes.push_back(FileTree::Node{p.size, base + static_cast<uint32_t>(p.nameStart), item.node, 0, 0, 0,
                                           static_cast<uint16_t>(p.nameLength), static_cast<uint8_t>(p.kind),
                                           static_cast<uint8_t>(p.flags)});
            bytes += p.size;
        }
        FileTree::Node& parent = nodes[static_cast<size_t>(item.node)];
        parent.firstChild = first;
        parent.childCount = static_cast<int32_t>(n);
    }

    items_.fetch_add(static_cast<int64_t>(n), std::memory_order_relaxed);
    bytes_.fetch_add(bytes, std::memory_order_relaxed);

    const std::string_view prefix = item.path == "/" ? std::string_view() : std::string_view(item.path);
    constexpr auto notEntered = FileTree::Flags::mountPoint | FileTree::Flags::dataless;
    for (size_t i = 0; i < n; ++i) {
        const Pending& p = listing.entries[i];
        if (!FileTree::isContainerKind(p.kind) || intersects(p.flags, notEntered)) continue;
        std::string path;
        path.reserve(prefix.size() + 1 + static_cast<size_t>(p.nameLength));
        path.append(prefix).append(1, '/').append(
            reinterpret_cast<const char*>(listing.names.data()) + p.nameStart, static_cast<size_t>(p.nameLength));
        newWork.push_back(WorkItem{first + static_cast<int32_t>(i), std::move(path)});
    }
}

} // namespace hollowmere
