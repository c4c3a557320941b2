// `cmake --install` into a DESTDIR, as a package build does: every file lands where CUPS and the
// administrator look for it, the installed PPDs pass cupstestppd with the installed filters,
// those filters print, the installed preview reads what they print, and the uninstall script
// takes everything away again.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/cupstestppd.h"
#include "tests/support/filter_runner.h"
#include "tests/support/page_records.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

const char* const kFilters[] = {"rastomoxzpl", "rastomoxtspl", "rastomoxepl", "rastertomoxdtpos"};
const char* const kPpds[] = {"mxzpl203.ppd", "mxzpl300.ppd", "mxtspl203.ppd", "mxtspl300.ppd",
                             "mxepl203.ppd", "mxepl300.ppd", "mxpos58.ppd",   "mxpos80.ppd"};
const char* const kTools[] = {"labelpreview", "zpldecode", "tspldecode",
                              "epldecode",    "posdecode", "rfid_peer"};

FilterResult RunCmake(const std::string& destdir, std::vector<std::string> args) {
    FilterArgs run;
    run.argvOverride = std::move(args);
    run.env = {"DESTDIR=" + destdir};
    return RunFilter(CMAKE_COMMAND, run);
}

// The filter a PPD names on its "*cupsFilter" or "*cupsFilter2" line: its last word.
std::string FilterOf(const std::string& ppd) {
    const std::string text = ReadFile(ppd);
    const size_t line = text.find("\n*cupsFilter");
    const size_t end = text.find("\"\n", line);
    if (line == std::string::npos || end == std::string::npos) return {};
    const size_t word = text.rfind(' ', end) + 1;
    return text.substr(word, end - word);
}

bool Executable(const fs::path& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && (info.st_mode & S_IXOTH);
}

class InstallTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const FilterResult r = RunCmake(dest.path(), {"--install", MX_BUILD_DIR});
        ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    }

    fs::path Installed(const std::string& dir) const { return dest.path() + dir; }

    TempDir dest;
};

TEST_F(InstallTest, EveryFileInPlaceAndUninstallRemovesThem) {
    for (const char* filter : kFilters)
        EXPECT_TRUE(Executable(Installed(MX_FILTER_DIR) / filter)) << filter;
    for (const char* ppd : kPpds) EXPECT_TRUE(fs::is_regular_file(Installed(MX_PPD_DIR) / ppd));
    for (const char* tool : kTools) EXPECT_TRUE(Executable(Installed(MX_BIN_DIR) / tool)) << tool;
    EXPECT_TRUE(fs::is_regular_file(Installed(MX_DOC_DIR) / "README.md"));

    const FilterResult r =
        RunCmake(dest.path(), {"-DMX_BUILD_DIR=" MX_BUILD_DIR, "-DMX_PREFIX=" MX_INSTALL_PREFIX,
                               "-DMX_PACKAGE_NAME=" MX_PACKAGE_NAME, "-P",
                               MX_SOURCE_DIR "/cmake/Uninstall.cmake"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(dest.path()))
        EXPECT_TRUE(entry.is_directory()) << entry.path() << " is left";
    EXPECT_FALSE(fs::exists(Installed(MX_PPD_DIR)));
}

TEST_F(InstallTest, InstalledPpdsPassAndTheirFiltersPrint) {
    // The option and size names are those the filters read; mxtspl203.ppd is longer than 8.3.
    const std::vector<std::string> accepted = {"should be the Adobe standard name",
                                               "shares a common prefix with",
                                               "PCFileName longer than 8.3"};
    WriteRasterFile(dest.File("page.ras"), {BlockPage(384, 96, 32, 16, 128, 48)});
    size_t found = 0;
    for (const fs::directory_entry& ppd : fs::directory_iterator(Installed(MX_PPD_DIR))) {
        SCOPED_TRACE(ppd.path().string());
        ++found;
        const PpdCheck check = CheckPpd(ppd.path(), accepted, dest.path());
        EXPECT_TRUE(check.passed) << check.output;
        EXPECT_TRUE(check.unexpectedWarnings.empty()) << check.output;

        FilterArgs job;
        job.ppdPath = ppd.path();
        job.rasterFile = dest.File("page.ras");
        const FilterResult printed =
            RunFilter(Installed(MX_FILTER_DIR) / FilterOf(ppd.path()), job);
        ASSERT_EQ(printed.exitCode, 0) << printed.err;
        FilterArgs preview;
        preview.argvOverride = std::vector<std::string>{"--no-png", "-"};
        const FilterResult seen =
            RunFilter(Installed(MX_BIN_DIR) / "labelpreview", preview, printed.out);
        EXPECT_EQ(seen.exitCode, 0) << seen.out << seen.err;
        EXPECT_TRUE(seen.out.find("labels 1 printed 1") != std::string::npos ||
                    seen.out.find("receipts 1") != std::string::npos)
            << seen.out;
    }
    EXPECT_EQ(found, std::size(kPpds));
}

}  // namespace
