#pragma once

#include "file_tree.h"
#include "hard_link_set.h"
#include "listed_entry.h"
#include "work_queue.h"

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace hollowmere {

// Walks one folder tree in parallel into a finished FileTree. A coordinator thread starts one
// worker per core; each worker lists one folder at a time and appends its entries to the shared
// store in one locked batch, so every folder's children are contiguous. Progress can be read
// and the scan cancelled from any thread.
class DiskScanner {
public:
    struct Progress {
        int64_t items = 0;
        uint64_t bytes = 0;
        std::string currentFolder;

        friend bool operator==(const Progress&, const Progress&) = default;
    };

    // The root folder could not be opened.
    class Failure : public std::exception {
    public:
        enum class Case { unreadable };

        static Failure unreadable(std::string path, int32_t code) { return Failure(std::move(path), code); }

        Case which() const { return Case::unreadable; }
        const std::string& path() const { return path_; }
        int32_t code() const { return code_; }
        // The folder, or one on its path, no longer exists.
        bool isGone() const;
        const char* what() const noexcept override { return message_.c_str(); }

        friend bool operator==(const Failure& a, const Failure& b) { return a.path_ == b.path_ && a.code_ == b.code_; }

    private:
        Failure(std::string path, int32_t code);
        std::string path_;
        int32_t code_;
        std::string message_;
    };

    // The tree would exceed the node or name limits of a FileTree.
    class TooLarge : public std::exception {
    public:
        const char* what() const noexcept override { return "the folder holds more items than a scan can keep"; }
    };

    // `name` is the root's display name (default: the path's last component, or "/").
    // `resolvesLinks` resolves links in the root path first; without it, a root path through
    // a link is refused.
    DiskScanner(std::string root, std::optional<std::string> name, int workerCount, bool resolvesLinks);
    DiskScanner(const DiskScanner&) = delete;
    DiskScanner& operator=(const DiskScanner&) = delete;

    // Runs the whole scan and returns the finished tree. Throws Failure when the root cannot
    // be opened and CancellationError after cancel().
    FileTree scan();

    Progress progress() const;
    void cancel();

    const std::string& rootPath() const { return rootPath_; }
    const std::string& rootName() const { return rootName_; }
    int workerCount() const { return workerCount_; }

    // Test hook, called on a worker right before a folder is read.
    std::function<void(const std::string& path)> willRead;

private:
    struct Storage {
        std::vector<FileTree::Node> nodes;
        std::vector<uint8_t> names;
    };

    FileTree run();
    void work(int number);
    size_t reservation() const;
    void commit(const WorkItem& item, const Listing& listing, std::vector<WorkItem>& newWork);
    void markRestricted(int32_t node);

    std::string rootPath_;
    std::string rootName_;
    int workerCount_;

    std::atomic<int64_t> items_{0};
    std::atomic<uint64_t> bytes_{0};
    std::atomic<bool> cancelled_{false};

    mutable std::mutex currentFolderMutex_;
    std::string currentFolder_;

    std::mutex storageMutex_;
    Storage storage_;
    bool overflowed_ = false;
    std::exception_ptr workerError_; // under the storage lock

    HardLinkSet hardLinks_;
    WorkQueue queue_;
};

} // namespace hollowmere
