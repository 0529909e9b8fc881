#include "scankit/cancellation.h"
#include "scankit/disk_scanner.h"
#include "support/privileges.h"
#include "support/temp_dir.h"

#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <set>
#include <thread>

using namespace hollowmere;
using hollowmere::test::TempDir;
using Kind = FileTree::Kind;
using Flags = FileTree::Flags;

namespace {

std::optional<NodeID> find(const FileTree& tree, std::string_view path) {
    for (int32_t i = 0; i < tree.count(); ++i) {
        if (tree.path(NodeID{i}) == path) return NodeID{i};
    }
    return std::nullopt;
}

// The allocated bytes below `root` computed without the scanner: every non-directory's
// blocks, a multiply-linked file once, links not followed, other file systems not entered.
uint64_t independentTotal(const std::string& root) {
    static std::set<std::pair<dev_t, ino_t>>* seen;
    static uint64_t total;
    std::set<std::pair<dev_t, ino_t>> links;
    seen = &links;
    total = 0;
    ::nftw(root.c_str(), [](const char*, const struct stat* st, int type, struct FTW*) {
        if (type == FTW_D || type == FTW_DP || type == FTW_DNR) return 0;
        if (S_ISREG(st->st_mode) && st->st_nlink > 1 && !seen->insert({st->st_dev, st->st_ino}).second) return 0;
        total += static_cast<uint64_t>(st->st_blocks) * 512;
        return 0;
    }, 32, FTW_PHYS | FTW_MOUNT);
    return total;
}

// A few hundred folders and files at several depths, with hard links across folders.
void makeGeneratedTree(const TempDir& dir, int topFolders) {
    for (int a = 0; a < topFolders; ++a) {
        const std::string top = "t" + std::to_string(a);
        dir.mkdir(top);
        for (int b = 0; b < 4; ++b) {
            const std::string mid = top + "/m" + std::to_string(b);
            dir.mkdir(mid);
            for (int f = 0; f < 6; ++f) dir.write(mid + "/f" + std::to_string(f), static_cast<size_t>((a * 7 + b * 3 + f) * 900));
            if (b > 0) dir.link(top + "/m0/f1", mid + "/link-to-f1");
        }
        dir.write(top + "/big", 70000);
    }
}

} // namespace

TEST(DiskScanner, EmptyFolderYieldsTheRootAlone) {
    TempDir dir;
    DiskScanner scanner(dir.path(), std::nullopt, 2, true);
    const FileTree tree = scanner.scan();
    EXPECT_EQ(tree.count(), 1);
    EXPECT_EQ(tree.size(FileTree::root()), 0u);
    EXPECT_EQ(tree.rootPath(), dir.path());
    EXPECT_EQ(tree.name(FileTree::root()), dir.path().substr(dir.path().rfind('/') + 1));
    EXPECT_EQ(tree.verify(), std::nullopt);
}

TEST(DiskScanner, RootPathNameAndWorkerCount) {
    TempDir dir;
    dir.mkdir("real");
    dir.symlink("real", "via-link");
    struct Case {
        std::string root;
        std::optional<std::string> name;
        int workers;
        bool resolves;
        std::string path, rootName;
        int workerCount;
    };
    const Case cases[] = {
        {dir / "real/", std::nullopt, 4, false, dir / "real", "real", 4},
        {"/", std::nullopt, 0, false, "/", "/", 1},
        {dir / "via-link", std::nullopt, -3, true, dir / "real", "real", 1},
        {dir / "via-link", std::nullopt, 2, false, dir / "via-link", "via-link", 2},
        {dir / "real", "Shown Name", 1, true, dir / "real", "Shown Name", 1},
    };
    for (const Case& c : cases) {
        DiskScanner scanner(c.root, c.name, c.workers, c.resolves);
        EXPECT_EQ(scanner.rootPath(), c.path) << c.root;
        EXPECT_EQ(scanner.rootName(), c.rootName) << c.root;
        EXPECT_EQ(scanner.workerCount(), c.workerCount) << c.root;
    }
}

TEST(DiskScanner, UnopenableRootFails) {
    TempDir dir;
    dir.mkdir("real");
    dir.symlink("real", "via-link");
    dir.write("file", 1);
    const std::pair<std::string, int> cases[] = {
        {dir / "missing", ENOENT},
        {dir / "file", ENOTDIR},
        {dir / "via-link", ELOOP}, // links in the root path are refused when not resolved
    };
    for (const auto& [path, code] : cases) {
        DiskScanner scanner(path, std::nullopt, 2, false);
        try {
            scanner.scan();
            ADD_FAILURE() << path << " scanned";
        } catch (const DiskScanner::Failure& failure) {
            EXPECT_EQ(failure, DiskScanner::Failure::unreadable(path, code));
            EXPECT_EQ(failure.isGone(), code != ELOOP) << path;
        }
    }
}

TEST(DiskScanner, TotalMatchesAnIndependentWalk) {
    TempDir dir;
    makeGeneratedTree(dir, 12);
    dir.mkdir("t0/m0/deeper");
    dir.symlink(dir.path(), "t0/m0/deeper/loop"); // a link back up is not followed
    dir.write("t0/m0/deeper/\xff\xfe", 3000);

    for (int workers : {1, 4}) {
        DiskScanner scanner(dir.path(), std::nullopt, workers, true);
        const FileTree tree = scanner.scan();
        ASSERT_EQ(tree.verify(), std::nullopt);
        EXPECT_EQ(tree.size(FileTree::root()), independentTotal(dir.path())) << workers << " workers";
        EXPECT_EQ(static_cast<int64_t>(tree.itemCount(FileTree::root())), tree.count() - 1);

        // Exactly one of the four names of a multiply-linked file carries its size.
        uint64_t sum = 0;
        int sized = 0;
        for (const char* name : {"t3/m0/f1", "t3/m1/link-to-f1", "t3/m2/link-to-f1", "t3/m3/link-to-f1"}) {
            const auto id = find(tree, dir / name);
            ASSERT_TRUE(id) << name;
            EXPECT_TRUE(contains(tree.flags(*id), Flags::otherNames)) << name;
            sum += tree.size(*id);
            sized += tree.size(*id) > 0;
        }
        EXPECT_EQ(sum, test::allocatedBytes(dir / "t3/m0/f1"));
        EXPECT_EQ(sized, 1);

        const auto loop = find(tree, dir / "t0/m0/deeper/loop");
        ASSERT_TRUE(loop);
        EXPECT_EQ(tree.kind(*loop), Kind::symlink);
        EXPECT_EQ(tree.childCount(*loop), 0);
        EXPECT_TRUE(find(tree, dir / "t0/m0/deeper/\xEF\xBF\xBD\xEF\xBF\xBD"));

        const DiskScanner::Progress progress = scanner.progress();
        EXPECT_EQ(progress.items, tree.count() - 1);
        EXPECT_EQ(progress.bytes, tree.size(FileTree::root()));
    }
}

TEST(DiskScanner, EveryFolderIsReadOnce) {
    TempDir dir;
    makeGeneratedTree(dir, 20);
    DiskScanner scanner(dir.path(), std::nullopt, 4, true);
    std::mutex mutex;
    std::multiset<std::string> reads;
    scanner.willRead = [&](const std::string& path) {
        std::lock_guard lock(mutex);
        reads.insert(path);
    };
    const FileTree tree = scanner.scan();
    ASSERT_EQ(tree.verify(), std::nullopt);
    std::set<std::string> folders;
    for (int32_t i = 0; i < tree.count(); ++i) {
        if (tree.isContainer(NodeID{i})) folders.insert(tree.path(NodeID{i}));
    }
    EXPECT_EQ(reads.size(), folders.size());
    EXPECT_EQ(std::set<std::string>(reads.begin(), reads.end()), folders);
}

TEST(DiskScanner, UnreadableFolderIsRestrictedAndVanishedFolderIsEmpty) {
    TempDir dir;
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    dir.mkdir("open");
    dir.write("open/file", 5000);
    dir.mkdir("closed", 0700);
    dir.write("closed/secret", 5000);
    ASSERT_EQ(::chmod((dir / "closed").c_str(), 0), 0);
    dir.mkdir("vanishing");

    // Run where permission bits apply (an unprivileged child when the tests run as root).
    const std::string root = dir.path();
    const bool ok = test::runUnprivileged([root] {
        DiskScanner scanner(root, std::nullopt, 2, true);
        scanner.willRead = [root](const std::string& path) {
            if (path == root + "/vanishing") ::rmdir(path.c_str());
        };
        const FileTree tree = scanner.scan();
        const auto closed = find(tree, root + "/closed");
        const auto vanishing = find(tree, root + "/vanishing");
        return tree.verify() == std::nullopt && closed && vanishing &&
               tree.flags(*closed) == Flags::restricted && tree.childCount(*closed) == 0 &&
               tree.restrictedFolders() == std::vector<NodeID>{*closed} &&
               tree.flags(*vanishing) == Flags::none && tree.childCount(*vanishing) == 0 &&
               tree.size(FileTree::root()) == test::allocatedBytes(root + "/open/file");
    });
    // Own files are reachable again for the cleanup.
    ::chmod((dir / "closed").c_str(), 0700);
    EXPECT_TRUE(ok);
}

TEST(DiskScanner, CancelStopsTheWalk) {
    TempDir dir;
    makeGeneratedTree(dir, 30);
    DiskScanner scanner(dir.path(), std::nullopt, 3, true);
    std::atomic<int> reads{0}, readsAfterCancel{0};
    std::atomic<bool> cancelled{false};
    scanner.willRead = [&](const std::string&) {
        if (cancelled) ++readsAfterCancel;
        if (++reads == 10) {
            scanner.cancel();
            scanner.cancel(); // idempotent
            cancelled = true;
        }
    };
    EXPECT_THROW(scanner.scan(), CancellationError);
    // Workers that were between folders read none after the cancel.
    EXPECT_EQ(readsAfterCancel.load(), 0);
    EXPECT_GT(scanner.progress().items, 0);
}

TEST(DiskScanner, CancelFromAnotherThreadWhileScanning) {
    TempDir dir;
    makeGeneratedTree(dir, 30);
    for (int round = 0; round < 5; ++round) {
        DiskScanner scanner(dir.path(), std::nullopt, 2, true);
        // The first folder read waits until the other thread has cancelled, so the cancel
        // always lands mid-walk; later reads race with it freely.
        std::atomic<bool> started{false}, cancelled{false};
        scanner.willRead = [&](const std::string&) {
            if (started.exchange(true)) return;
            while (!cancelled) std::this_thread::yield();
        };
        std::thread canceller([&] {
            while (!started) std::this_thread::yield();
            std::this_thread::sleep_for(std::chrono::microseconds(100 * round));
            scanner.cancel();
            cancelled = true;
        });
        EXPECT_THROW(scanner.scan(), CancellationError);
        canceller.join();
        (void)scanner.progress();
    }
}
