// Debug bitmaps at their fixed names in /tmp: written in place into a plain file of this user,
// never through anything another user planted there.
#include "imaging/bmp_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/planted.h"
#include "tests/support/temp_dir.h"

namespace {

const BmpFileLayout kLayout{BmpRowLength::PaddedToWords, 8000};
const std::vector<uint8_t> kPage(4 * 3, 0x80);  // 3 rows of 4 grey dots

bool WritePage(const std::string& path) {
    return WriteBmpFile(path.c_str(), kPage.data(), static_cast<uint32_t>(kPage.size()), 4, 3, 8,
                        kLayout);
}

TEST(BmpFileTest, AFileOfAnotherJobIsRewrittenInPlaceAndPrivately) {
    TempDir dir;
    const std::string path = dir.File("ZplBegin.bmp");
    WriteFile(path, std::string(5000, 'x'));
    struct stat before {};
    ASSERT_EQ(stat(path.c_str(), &before), 0);
    ASSERT_TRUE(WritePage(path));
    struct stat after {};
    ASSERT_EQ(stat(path.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino) << "emptied, not removed under the other job";
    EXPECT_EQ(after.st_mode & 0777, 0600u);
    const std::string bmp = ReadFile(path);
    EXPECT_EQ(bmp.size(), 1078u + 3 * 4) << "header, grey palette and three padded rows";
    EXPECT_EQ(bmp.substr(0, 2), "BM");
}

TEST(BmpFileTest, AnythingPlantedAtTheNameIsLeftAlone) {
    TempDir dir;
    const std::string victim = dir.File("victim");
    WriteFile(victim, "keep");
    for (const PlantedCase& c : PlantedCases()) {
        const std::string path = dir.File("ZplBegin.bmp");
        Plant(c.kind, path, victim);
        const ChildRun run = RunInChild([&] { _exit(WritePage(path) ? 1 : 0); }, 10);
        EXPECT_TRUE(run.finished && run.exitCode == 0) << c.name;
        EXPECT_EQ(run.err,
                  "DEBUG: The debug bitmap " + path + " is not written: " + c.problem + ".\n");
        EXPECT_EQ(ReadFile(victim), "keep") << c.name;
        std::filesystem::remove_all(path);
    }
}

}  // namespace
