#include "scankit/item_category.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

using namespace hollowmere;
using namespace std::string_view_literals;

TEST(ItemCategory, CasesRawValuesAndTitles) {
    struct Case {
        ItemCategory category;
        std::string_view raw, title;
    };
    const Case cases[] = {
        {ItemCategory::video, "video", "Videos"},
        {ItemCategory::archive, "archive", "Archives"},
        {ItemCategory::diskImage, "diskImage", "Disk Images"},
        {ItemCategory::installer, "installer", "Installers"},
        {ItemCategory::app, "app", "Apps"},
    };
    ASSERT_EQ(allItemCategories.size(), std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(allItemCategories[i], cases[i].category) << "position " << i;
        EXPECT_EQ(rawValue(cases[i].category), cases[i].raw);
        EXPECT_EQ(title(cases[i].category), cases[i].title);
        EXPECT_EQ(itemCategory(cases[i].raw), cases[i].category);
    }
    EXPECT_EQ(allKindsTitle, "All Kinds");
    for (std::string_view other : {"", "Video", "videos", "disk image", "diskimage", "all"}) {
        EXPECT_EQ(itemCategory(other), std::nullopt) << other;
    }
}

TEST(ItemCategory, LookupMapsPackExtensionsLittleEndian) {
    EXPECT_EQ(ItemCategoryMaps::key("mp4"), 0x34706dull);
    EXPECT_EQ(ItemCategoryMaps::key("MP4"), 0x34706dull);
    EXPECT_EQ(ItemCategoryMaps::key("7z"), 0x7a37ull);
    EXPECT_EQ(ItemCategoryMaps::key("sparsebu"), 0x7562657372617073ull);
    EXPECT_EQ(ItemCategoryMaps::shortMap().size(), 53u);
    EXPECT_EQ(ItemCategoryMaps::shortMap().at(0x34706d), ItemCategory::video);
    EXPECT_EQ(ItemCategoryMaps::longMap().size(), 2u);
    EXPECT_EQ(ItemCategoryMaps::longMap().at("sparseimage"), ItemCategory::diskImage);
    EXPECT_EQ(ItemCategoryMaps::longMap().at("sparsebundle"), ItemCategory::diskImage);
}

// Every extension of every category, as a file and as a package, in lower and upper case.
TEST(ItemCategory, EveryExtensionOfTheTable) {
    struct Row {
        ItemCategory category;
        std::vector<std::string_view> extensions;
        bool asFile, asPackage;
    };
    const Row rows[] = {
        {ItemCategory::video,
         {"mp4", "m4v", "mov", "mkv", "avi", "wmv", "flv", "webm", "mpg", "mpeg", "mts", "m2ts",
          "3gp", "vob", "mxf", "braw", "r3d"},
         true, false},
        {ItemCategory::archive,
         {"zip", "rar", "7z", "tar", "gz", "tgz", "bz2", "tbz", "tbz2", "xz", "txz", "zst", "lz",
          "lz4", "lzma", "cpio", "xar", "xip", "sit", "sitx", "cab"},
         true, false},
        {ItemCategory::diskImage,
         {"dmg", "iso", "img", "cdr", "toast", "sparseimage", "sparsebundle", "asif", "vmdk", "vdi",
          "vhd", "vhdx", "qcow2"},
         true, true},
        {ItemCategory::installer, {"pkg", "mpkg", "ipsw"}, true, false},
        {ItemCategory::app, {"app"}, false, true},
    };
    size_t total = 0;
    for (const Row& row : rows) {
        for (std::string_view ext : row.extensions) {
            ++total;
            std::string upper(ext);
            for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            for (const std::string& name : {"item." + std::string(ext), "Item." + upper}) {
                const auto expectFile = row.asFile ? std::optional(row.category) : std::nullopt;
                const auto expectPackage = row.asPackage ? std::optional(row.category) : std::nullopt;
                EXPECT_EQ(classifyItem(name, false), expectFile) << name << " as a file";
                EXPECT_EQ(classifyItem(name, true), expectPackage) << name << " as a package";
            }
        }
    }
    EXPECT_EQ(total, 55u);
}

TEST(ItemCategory, ClassificationRule) {
    struct Case {
        std::string_view name;
        bool isPackage;
        std::optional<ItemCategory> expected;
    };
    const Case cases[] = {
        {"Holiday.MOV", false, ItemCategory::video},
        {"clip.Mp4", false, ItemCategory::video},
        {"backup.tar.gz", false, ItemCategory::archive}, // only the last extension counts
        {"a.b.c.iso", false, ItemCategory::diskImage},
        {"..zip", false, ItemCategory::archive},         // the last dot is not the first byte
        {"Disk.SparseBundle", true, ItemCategory::diskImage},
        {"Disk.SPARSEIMAGE", false, ItemCategory::diskImage},
        // No dot, a dot file, an empty extension, or an extension too long to match.
        {"", false, std::nullopt},
        {"README", false, std::nullopt},
        {".zip", false, std::nullopt},
        {".app", true, std::nullopt},
        {"notes.", false, std::nullopt},
        {"archive.zip.", false, std::nullopt},
        {"x.xsparsebundle", false, std::nullopt},  // 13 bytes
        {"x.sparsebundlee", true, std::nullopt},   // 13 bytes
        {"x.sparsebundl", false, std::nullopt},
        {"x.sparseimage\xff", false, std::nullopt},
        {"x.sp\xc3\xa4rseimage", false, std::nullopt},
        {"movie.mp4x", false, std::nullopt},
        {"movie.mp", false, std::nullopt},
        // Only "A".."Z" are folded: 0x14 | 0x20 would be "4".
        {"movie.mp\x14", false, std::nullopt},
        {"movie.MP\x34", false, ItemCategory::video},
        // Apps and the system's installers.
        {"Tool.app", false, std::nullopt},
        {"Tool.app", true, ItemCategory::app},
        {"Tool.APP", true, ItemCategory::app},
        {"Install macOS Sequoia.app", true, ItemCategory::installer},
        {"Install macOS.app", true, ItemCategory::installer},
        {"Install OS X El Capitan.app", true, ItemCategory::installer},
        {"Install OS X.app", true, ItemCategory::installer},
        {"install macOS x.app", true, ItemCategory::app},
        {"Install MacOS x.app", true, ItemCategory::app},
        {"Install OS.app", true, ItemCategory::app},
        {"Install macOS Sequoia.app", false, std::nullopt},
        // Packages with a file-only extension, and the reverse.
        {"Bundle.zip", true, std::nullopt},
        {"Setup.pkg", true, std::nullopt},
        {"Setup.pkg", false, ItemCategory::installer},
        {"Setup.PKG", false, ItemCategory::installer},
        {"Film.mov", true, std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(classifyItem(c.name, c.isPackage), c.expected)
            << '"' << c.name << '"' << (c.isPackage ? " as a package" : " as a file");
    }
}
