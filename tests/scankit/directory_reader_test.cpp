#include "scankit/directory_reader.h"
#include "scankit/disk_scanner.h"
#include "scankit/hard_link_set.h"
#include "support/temp_dir.h"

#include <sys/mount.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <map>

using namespace hollowmere;
using hollowmere::test::TempDir;
using Kind = FileTree::Kind;
using Flags = FileTree::Flags;

namespace {

struct Seen {
    Kind kind;
    Flags flags;
    uint64_t size;
};

std::map<std::string, Seen> list(const std::string& path, HardLinkSet& links, int& error) {
    DirectoryReader reader;
    Listing listing;
    error = reader.read(path, listing, links);
    std::map<std::string, Seen> out;
    for (const Pending& p : listing.entries) {
        const std::string name(reinterpret_cast<const char*>(listing.names.data()) + p.nameStart,
                               static_cast<size_t>(p.nameLength));
        out[name] = Seen{p.kind, p.flags, p.size};
    }
    return out;
}

std::map<std::string, Seen> list(const std::string& path) {
    HardLinkSet links;
    int error = 0;
    auto out = list(path, links, error);
    EXPECT_EQ(error, 0) << path;
    return out;
}

} // namespace

TEST(DirectoryReader, ClassifiesEntries) {
    TempDir dir;
    dir.write("data.bin", 10000);
    dir.write("Tool.app", 10);
    dir.mkdir("Project.xcodeproj");
    dir.mkdir(".app");
    dir.mkdir("Report.verylongextension");
    dir.mkdir("sub");
    dir.write("sub/inner", 50000);
    dir.symlink("sub", "link-to-sub");
    dir.write("bad\xff" "name", 1);

    const auto seen = list(dir.path());
    ASSERT_EQ(seen.size(), 8u);
    EXPECT_EQ(seen.at("data.bin").kind, Kind::file);
    EXPECT_EQ(seen.at("data.bin").size, test::allocatedBytes(dir / "data.bin"));
    EXPECT_EQ(seen.at("data.bin").flags, Flags::none);
    EXPECT_EQ(seen.at("Tool.app").kind, Kind::file);
    EXPECT_EQ(seen.at("Project.xcodeproj").kind, Kind::package);
    EXPECT_EQ(seen.at(".app").kind, Kind::folder);
    EXPECT_EQ(seen.at("Report.verylongextension").kind, Kind::folder);
    // A folder's own blocks are not counted; what is inside it is, once it is read.
    EXPECT_EQ(seen.at("sub").size, 0u);
    EXPECT_EQ(seen.at("link-to-sub").kind, Kind::symlink);
    EXPECT_EQ(seen.at("link-to-sub").size, test::allocatedBytes(dir / "link-to-sub"));
    // Name bytes are kept exactly as listed, invalid UTF-8 included.
    EXPECT_EQ(seen.count("bad\xff" "name"), 1u);
}

TEST(DirectoryReader, HardLinkedFileIsCountedAtTheFirstNameOnly) {
    TempDir dir;
    dir.mkdir("a");
    dir.mkdir("b");
    dir.write("a/original", 20000);
    dir.link("a/original", "b/second");
    dir.write("a/single", 100);

    HardLinkSet links;
    int error = 0;
    const auto a = list(dir / "a", links, error);
    const auto b = list(dir / "b", links, error);
    EXPECT_EQ(a.at("original").flags, Flags::otherNames);
    EXPECT_EQ(a.at("original").size, test::allocatedBytes(dir / "a/original"));
    EXPECT_EQ(b.at("second").flags, Flags::otherNames | Flags::hardLink);
    EXPECT_EQ(b.at("second").size, 0u);
    EXPECT_EQ(a.at("single").flags, Flags::none);
    EXPECT_EQ(links.size(), 1u);
}

TEST(DirectoryReader, ErrorsLeaveNoEntries) {
    TempDir dir;
    dir.write("file", 1);
    dir.mkdir("real");
    dir.write("real/x", 1);
    dir.symlink("real", "link");

    const std::pair<std::string, int> cases[] = {
        {dir / "missing", ENOENT},
        {dir / "file", ENOTDIR},
        {dir / "link", ELOOP},       // a link as the last component
        {dir / "link/inner", ELOOP}, // a link further up the path
    };
    for (const auto& [path, expected] : cases) {
        HardLinkSet links;
        int error = 0;
        DirectoryReader reader;
        Listing listing;
        listing.names.push_back('x'); // stale content must be cleared
        error = reader.read(path, listing, links);
        EXPECT_EQ(error, expected) << path;
        EXPECT_TRUE(listing.entries.empty() && listing.names.empty()) << path;
    }
}

TEST(DirectoryReader, MountedFolderIsMarkedAndNotSized) {
    TempDir dir;
    dir.mkdir("mnt");
    if (::mount("hollowmere-test", (dir / "mnt").c_str(), "tmpfs", 0, "size=1m") != 0) {
        GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    }
    dir.write("mnt/on-the-other-volume", 4096);
    const auto seen = list(dir.path());
    // The scanner does not enter it: the other volume's file is not counted.
    const FileTree tree = DiskScanner(dir.path(), std::nullopt, 2, true).scan();
    ::umount2((dir / "mnt").c_str(), MNT_DETACH);
    EXPECT_EQ(seen.at("mnt").kind, Kind::folder);
    EXPECT_EQ(seen.at("mnt").flags, Flags::mountPoint);
    ASSERT_EQ(tree.count(), 2);
    EXPECT_EQ(tree.childCount(NodeID{1}), 0);
    EXPECT_EQ(tree.size(FileTree::root()), 0u);
}
