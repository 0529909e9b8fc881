#include "raw_tree.h"
#include "scankit/file_tree.h"
#include "support/privileges.h"
#include "support/temp_dir.h"
#include "support/tree_builder.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <system_error>

using namespace hollowmere;
using hollowmere::test::editedTree;
using hollowmere::test::RawTree;
using hollowmere::test::TempDir;
using hollowmere::test::TreeBuilder;
using Kind = FileTree::Kind;

namespace {

constexpr std::string_view header = "path,kind,allocated_bytes,items\n";

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

std::string exported(const FileTree& tree, NodeID from = FileTree::root()) {
    TempDir dir;
    tree.writeCSV(from, dir / "out.csv");
    return readFile(dir / "out.csv");
}

// The error code of the std::system_error that the export throws, or none.
std::error_code exportError(const FileTree& tree, const std::string& to) {
    try {
        tree.writeCSV(FileTree::root(), to);
    } catch (const std::system_error& error) {
        return error.code();
    }
    return {};
}

// R (rootPath /x/R) with A (50), B (30, with B1) and C (20).
FileTree threeChildren() {
    TreeBuilder builder("/x/R", "R");
    const int32_t first = builder.add(0, {{"A", Kind::file, 50}, {"B", Kind::folder, 0}, {"C", Kind::file, 20}});
    builder.add(first + 1, {{"B1", Kind::file, 30}});
    return builder.build();
}

// 60 folders of 250 files with long names: about 1.4 MB of rows, so the writer flushes
// in the middle of the walk. Folder f holds files of 1..250 bytes times f + 1, so folders and
// files both grow with their number and are written in ascending order.
struct LargeTree {
    static constexpr int folders = 60, files = 250;
    static std::string folderName(int f) { return "folder-" + std::to_string(f); }
    static std::string fileName(int k) { return "a-rather-long-file-name-to-fill-the-rows-quickly-" + std::to_string(k) + ".dat"; }
    static uint64_t fileSize(int f, int k) { return static_cast<uint64_t>(k + 1) * static_cast<uint64_t>(f + 1); }

    static FileTree build() {
        RawTree raw("/big");
        raw.add("big", Kind::folder, 0, -1, 1, folders);
        for (int f = 0; f < folders; ++f) raw.add(folderName(f), Kind::folder, 0, 0, 1 + folders + f * files, files);
        for (int f = 0; f < folders; ++f) {
            for (int k = 0; k < files; ++k) raw.add(fileName(k), Kind::file, fileSize(f, k), 1 + f);
        }
        FileTree tree = raw.build();
        tree.finish();
        return tree;
    }

    static std::string expected() {
        std::string text(header);
        uint64_t total = 0;
        for (int f = 0; f < folders; ++f) {
            for (int k = 0; k < files; ++k) total += fileSize(f, k);
        }
        text += "/big,folder," + std::to_string(total) + "," + std::to_string(folders * (files + 1)) + "\n";
        for (int f = 0; f < folders; ++f) {
            uint64_t folderSize = 0;
            for (int k = 0; k < files; ++k) folderSize += fileSize(f, k);
            text += "/big/" + folderName(f) + ",folder," + std::to_string(folderSize) + "," + std::to_string(files) + "\n";
            for (int k = 0; k < files; ++k) {
                text += "/big/" + folderName(f) + "/" + fileName(k) + ",file," + std::to_string(fileSize(f, k)) + ",0\n";
            }
        }
        return text;
    }
};

} // namespace

TEST(TreeCsv, NodesComeBeforeTheirSubtreesSmallestSiblingFirst) {
    const FileTree tree = threeChildren();
    EXPECT_EQ(exported(tree), std::string(header) +
                                  "/x/R,folder,100,4\n"
                                  "/x/R/C,file,20,0\n"
                                  "/x/R/B,folder,30,1\n"
                                  "/x/R/B/B1,file,30,0\n"
                                  "/x/R/A,file,50,0\n");
    EXPECT_EQ(exported(tree, NodeID{2}), std::string(header) + "/x/R/B,folder,30,1\n/x/R/B/B1,file,30,0\n");
    EXPECT_EQ(exported(tree, NodeID{3}), std::string(header) + "/x/R/C,file,20,0\n");
}

TEST(TreeCsv, EveryKindHasItsWord) {
    TreeBuilder builder("/k", "k");
    const int32_t first = builder.add(0, {{"f", Kind::file, 50},
                                          {"d", Kind::folder, 0},
                                          {"p", Kind::package, 0},
                                          {"s", Kind::symlink, 20},
                                          {"o", Kind::other, 10}});
    builder.add(first + 1, {{"g", Kind::file, 40}});
    builder.add(first + 2, {{"q", Kind::file, 30}});
    EXPECT_EQ(exported(builder.build()), std::string(header) +
                                             "/k,folder,150,7\n"
                                             "/k/o,other,10,0\n"
                                             "/k/s,symlink,20,0\n"
                                             "/k/p,package,30,1\n"
                                             "/k/p/q,file,30,0\n"
                                             "/k/d,folder,40,1\n"
                                             "/k/d/g,file,40,0\n"
                                             "/k/f,file,50,0\n");
}

TEST(TreeCsv, PathFieldIsQuotedOnlyWhenItMustBe) {
    struct Case {
        std::string rootPath, name, field;
    };
    const Case cases[] = {
        {"/Users/ann", "a,b.txt", "\"/Users/ann/a,b.txt\""},
        {"/Users/ann", "say \"hi\"", "\"/Users/ann/say \"\"hi\"\"\""},
        {"/Users/ann", "two\nlines", "\"/Users/ann/two\nlines\""},
        {"/Users/ann", "cr\rhere", "\"/Users/ann/cr\rhere\""},
        {"/Users/ann", "plain name; (1).txt", "/Users/ann/plain name; (1).txt"},
        {"/Users/a,nn", "x", "\"/Users/a,nn/x\""},
        {"/Users/ann", "caf\xC3\xA9 \xFF", "/Users/ann/caf\xC3\xA9 \xEF\xBF\xBD"},
        {"/", "Applications", "/Applications"},
    };
    for (const Case& c : cases) {
        TreeBuilder builder(c.rootPath, "root");
        builder.add(0, {{c.name, Kind::file, 1}});
        const std::string text = exported(builder.build());
        const size_t second = text.find('\n', header.size()) + 1;
        EXPECT_EQ(text.substr(second), c.field + ",file,1,0\n") << c.name;
    }
}

TEST(TreeCsv, RootOfSlashIsWrittenAsSlash) {
    TreeBuilder builder("/", "/");
    const int32_t first = builder.add(0, {{"Applications", Kind::folder, 0}});
    builder.add(first, {{"Mail.app", Kind::package, 8}});
    EXPECT_EQ(exported(builder.build()), std::string(header) +
                                             "/,folder,8,2\n"
                                             "/Applications,folder,8,1\n"
                                             "/Applications/Mail.app,package,8,0\n");
}

TEST(TreeCsv, RemovedNodesAndOldRunsAreNotWritten) {
    EXPECT_EQ(exported(editedTree()), std::string(header) +
                                          "/srv/Mail.app/data,folder,15,3\n"
                                          "/srv/Mail.app/data/a,folder,15,2\n"
                                          "/srv/Mail.app/data/a/z,file,3,0\n"
                                          "/srv/Mail.app/data/a/x,file,12,0\n");
}

TEST(TreeCsv, ExistingFileIsReplaced) {
    TempDir dir;
    {
        std::ofstream old(dir / "out.csv", std::ios::binary);
        old << std::string(10000, 'x');
    }
    threeChildren().writeCSV(FileTree::root(), dir / "out.csv");
    EXPECT_EQ(readFile(dir / "out.csv"), exported(threeChildren()));
}

TEST(TreeCsv, ExportOfSeveralBlocksEqualsTheWholeText) {
    const std::string text = exported(LargeTree::build());
    EXPECT_GT(text.size(), size_t{1} << 20);
    EXPECT_EQ(text, LargeTree::expected());
}

TEST(TreeCsv, DestinationThatCannotBeOpenedThrowsItsError) {
    TempDir dir;
    const FileTree tree = threeChildren();
    EXPECT_EQ(exportError(tree, dir / "missing/out.csv"), std::errc::no_such_file_or_directory);
    struct stat st;
    EXPECT_NE(::stat((dir / "missing").c_str(), &st), 0);
    dir.mkdir("folder");
    EXPECT_EQ(exportError(tree, dir / "folder"), std::errc::is_a_directory);
}

TEST(TreeCsv, ReadOnlyFolderRefusesTheExport) {
    TempDir dir;
    dir.mkdir("locked", 0555);
    const std::string to = dir / "locked/out.csv";
    const FileTree tree = threeChildren();
    EXPECT_TRUE(test::runUnprivileged([&] { return exportError(tree, to) == std::errc::permission_denied; }));
}

TEST(TreeCsv, FailingWriteThrowsItsError) {
    // /dev/full takes the open and fails every write: the last block of a small export, and
    // a block in the middle of a large one.
    EXPECT_EQ(exportError(threeChildren(), "/dev/full"), std::errc::no_space_on_device);
    EXPECT_EQ(exportError(LargeTree::build(), "/dev/full"), std::errc::no_space_on_device);
}
