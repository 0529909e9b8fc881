#include "cli/scan_options.h"
#include "cli/scan_report.h"
#include "corekit/qt_color.h"
#include "corekit/ring_palette.h"
#include "sunburstkit/sunburst_geometry.h"
#include "sunburstkit/sunburst_layout.h"
#include "support/temp_dir.h"

#include <QImage>

#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstdio>

using namespace hollowmere;
using hollowmere::test::TempDir;

namespace {

struct CommandResult {
    int status = -1;
    std::string out;
};

// Runs hollowmere-scan with its standard error folded into the output.
CommandResult runScan(const std::string& arguments) {
    CommandResult run;
    const std::string command = std::string(HOLLOWMERE_SCAN_PATH) + " " + arguments + " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return run;
    char buffer[4096];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.out.append(buffer, n);
    const int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

} // namespace

TEST(ScanOptions, Parsing) {
    struct Case {
        std::vector<std::string> args;
        bool ok;
        std::string folder;
        bool json;
        int workers;
    };
    const Case cases[] = {
        {{"/srv"}, true, "/srv", false, 0},
        {{"--json", "/srv"}, true, "/srv", true, 0},
        {{"--workers", "3", "/srv"}, true, "/srv", false, 3},
        {{"--", "-odd-name"}, true, "-odd-name", false, 0},
        {{"--workers"}, false, "", false, 0},
        {{"--workers", "0", "/srv"}, false, "", false, 0},
        {{"--workers", "3x"}, false, "", false, 0},
        {{"--frobnicate"}, false, "", false, 0},
        {{"/a", "/b"}, false, "", false, 0},
        {{"--top", "-1"}, false, "", false, 0},
        {{"--kind", "videos"}, false, "", false, 0},
    };
    for (const Case& c : cases) {
        std::string error;
        const auto options = cli::parseOptions(c.args, error);
        ASSERT_EQ(options.has_value(), c.ok) << c.args.front();
        if (!c.ok) {
            EXPECT_FALSE(error.empty());
            continue;
        }
        EXPECT_EQ(options->folder, c.folder);
        EXPECT_EQ(options->json, c.json);
        EXPECT_EQ(options->workers, c.workers);
    }
}

TEST(ScanOptions, LargestFilesAndTotal) {
    std::string error;
    const auto options = cli::parseOptions({"--top", "0", "--kind", "diskImage", "--total", "/x"}, error);
    ASSERT_TRUE(options) << error;
    EXPECT_EQ(options->top, 0);
    EXPECT_TRUE(options->topGiven);
    EXPECT_EQ(options->kind, "diskImage");
    EXPECT_TRUE(options->totalOnly);
}

TEST(ScanOptions, MapPicture) {
    struct Case {
        std::vector<std::string> args;
        bool ok;
        int size;
        bool dark;
    };
    const Case cases[] = {
        {{"--map", "m.png", "/srv"}, true, 800, false},
        {{"--map", "m.png", "--size", "4096", "--dark", "/srv"}, true, 4096, true},
        {{"--size", "64", "--map", "m.png"}, true, 64, false},
        {{"--map"}, false, 0, false},
        {{"--map", "", "/srv"}, false, 0, false},
        {{"--map", "m.png", "--size", "63"}, false, 0, false},
        {{"--map", "m.png", "--size", "4097"}, false, 0, false},
        {{"--map", "m.png", "--size", "2e3"}, false, 0, false},
        {{"--map", "m.png", "--size"}, false, 0, false},
        {{"--size", "500", "/srv"}, false, 0, false},
        {{"--dark", "/srv"}, false, 0, false},
    };
    for (const Case& c : cases) {
        std::string error;
        const auto options = cli::parseOptions(c.args, error);
        ASSERT_EQ(options.has_value(), c.ok) << ::testing::PrintToString(c.args);
        if (!c.ok) {
            EXPECT_FALSE(error.empty());
            continue;
        }
        EXPECT_EQ(options->mapFile, "m.png");
        EXPECT_EQ(options->mapSize, c.size);
        EXPECT_EQ(options->mapDark, c.dark);
    }
}

TEST(ScanReport, Formats) {
    EXPECT_EQ(cli::formatCount(0), "0");
    EXPECT_EQ(cli::formatCount(1234567), "1,234,567");
    EXPECT_EQ(cli::formatCount(100), "100");
    EXPECT_EQ(cli::formatBytes(0), "Zero KB");
    EXPECT_EQ(cli::formatBytes(999), "999 bytes");
    EXPECT_EQ(cli::formatBytes(1'234'567), "1.23 MB");
    EXPECT_EQ(cli::formatBytes(45'600'000'000), "45.6 GB");
    EXPECT_EQ(cli::jsonString("a\"b\\c\n\x01\xff"), "\"a\\\"b\\\\c\\n\\u0001\xEF\xBF\xBD\"");
}

TEST(HollowmereScan, JsonReportOfAFolder) {
    TempDir dir;
    dir.mkdir("sub");
    dir.write("sub/a", 10000);
    dir.write("b", 5000);
    const CommandResult run = runScan("--json " + dir.path());
    ASSERT_EQ(run.status, 0) << run.out;
    const uint64_t total = test::allocatedBytes(dir / "sub/a") + test::allocatedBytes(dir / "b");
    EXPECT_NE(run.out.find("\"path\":\"" + dir.path() + "\""), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\"total_bytes\":" + std::to_string(total) + ","), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\"items\":3,"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\"folders\":2,"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\"restricted\":0,"), std::string::npos) << run.out;
}

TEST(HollowmereScan, LargestFilesByKindAndTotal) {
    TempDir dir;
    dir.write("film.mkv", 30000);
    dir.write("notes.txt", 90000);
    dir.write("old.zip", 10000);
    const CommandResult videos = runScan("--kind video " + dir.path());
    ASSERT_EQ(videos.status, 0) << videos.out;
    EXPECT_NE(videos.out.find("Largest files (Videos)"), std::string::npos) << videos.out;
    EXPECT_NE(videos.out.find(dir / "film.mkv"), std::string::npos) << videos.out;
    EXPECT_EQ(videos.out.find("notes.txt"), std::string::npos) << videos.out;

    const CommandResult all = runScan("--top 1 " + dir.path());
    EXPECT_NE(all.out.find(dir / "notes.txt"), std::string::npos) << all.out;
    EXPECT_EQ(all.out.find("film.mkv"), std::string::npos) << all.out;

    const uint64_t total = test::allocatedBytes(dir / "film.mkv") + test::allocatedBytes(dir / "notes.txt") +
                           test::allocatedBytes(dir / "old.zip");
    EXPECT_EQ(runScan("--total " + dir.path()).out, std::to_string(total) + "\n");
}

TEST(HollowmereScan, ExportsCsv) {
    TempDir dir, out;
    dir.write("a,b.txt", 5000);
    const CommandResult ok = runScan("--total --csv " + (out / "out.csv") + " " + dir.path());
    ASSERT_EQ(ok.status, 0) << ok.out;
    std::FILE* file = std::fopen((out / "out.csv").c_str(), "r");
    ASSERT_NE(file, nullptr);
    char text[4096] = {};
    const size_t n = std::fread(text, 1, sizeof text - 1, file);
    std::fclose(file);
    const std::string csv(text, n);
    EXPECT_EQ(csv.rfind("path,kind,allocated_bytes,items\n", 0), 0u) << csv;
    EXPECT_NE(csv.find("\"" + (dir / "a,b.txt") + "\",file,"), std::string::npos) << csv;

    const CommandResult failed = runScan("--total --csv /nonexistent/dir/out.csv " + dir.path());
    EXPECT_EQ(failed.status, 1);
    EXPECT_NE(failed.out.find("/nonexistent/dir/out.csv"), std::string::npos) << failed.out;
}

TEST(HollowmereScan, ErrorsAndHelp) {
    const CommandResult missing = runScan("/nonexistent/hollowmere");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.out.find("couldn't read /nonexistent/hollowmere: No such file or directory"), std::string::npos)
        << missing.out;
    EXPECT_EQ(runScan("--bogus").status, 2);
    const CommandResult help = runScan("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Usage: hollowmere-scan"), std::string::npos);
}

// The map picture of a folder holding one large and one small file: the large one's arc takes
// nearly all of ring 1, in slot 0 as a file, on the canvas of the appearance asked for.
TEST(HollowmereScan, MapPicture) {
    TempDir dir;
    dir.write("large", 200000);
    dir.write("small", 20000);
    const SunburstGeometry geometry({200, 200}, SunburstLayout::standardMaxDepth, 6);
    const auto ring = geometry.ring(1);
    const auto inLargeArc = geometry.point((ring.inner + ring.outer) / 2, 0.3);
    for (const bool dark : {false, true}) {
        SCOPED_TRACE(dark ? "dark" : "light");
        const std::string picture = dir / (dark ? "dark.png" : "light.png");
        const CommandResult run =
            runScan("--total --map " + picture + " --size 200 " + (dark ? "--dark " : "") + dir.path());
        ASSERT_EQ(run.status, 0) << run.out;
        const QImage image(QString::fromStdString(picture));
        ASSERT_EQ(image.size(), QSize(200, 200));
        EXPECT_EQ(image.pixelColor(2, 2), toQColor(VellicorTheme::canvas, dark));
        EXPECT_EQ(image.pixelColor(static_cast<int>(inLargeArc.x), static_cast<int>(inLargeArc.y)),
                  toQColor(RingPalette::fill(0, 1, true, dark, false)));
    }

    const CommandResult unwritable = runScan("--map " + (dir / "missing/map.png") + " " + dir.path());
    EXPECT_EQ(unwritable.status, 1);
    EXPECT_NE(unwritable.out.find("couldn't write " + (dir / "missing/map.png")), std::string::npos)
        << unwritable.out;
}
