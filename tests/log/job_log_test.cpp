// The job log of a label filter at its fixed name in /tmp, with "DriverLog" on, when another
// user planted something there first: the job prints, says why it keeps no log, and leaves
// the planted thing and whatever it points at alone.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>

#include "tests/support/filter_runner.h"
#include "tests/support/planted.h"
#include "tests/support/ppd_fixture.h"
#include "tests/support/raster_writer.h"
#include "tests/support/temp_dir.h"

namespace {

const std::string kLog = "/tmp/mxepl.log";

TEST(JobLogTest, PlantedLogPathNeitherHangsNorRedirectsTheJob) {
    std::optional<std::string> saved;
    if (access(kLog.c_str(), F_OK) == 0) saved = ReadFile(kLog);
    TempDir dir;
    const std::string victim = dir.File("victim");
    WriteFile(victim, "keep");
    FilterArgs args;
    args.ppdPath =
        PpdFixture().NumericOption("DriverLog", {"0", "1"}, "1").WriteTo(dir.File("q.ppd"));
    WriteRasterFile(dir.File("job.ras"), {TestPage::Gradient(8, 4)});
    args.rasterFile = dir.File("job.ras");
    for (const PlantedCase& c : PlantedCases()) {
        std::filesystem::remove_all(kLog);
        Plant(c.kind, kLog, victim);
        const FilterResult r = RunFilter(RECORDING_EPL_FLOW, args);
        EXPECT_EQ(r.exitCode, 0) << c.name;
        EXPECT_NE(r.out.find("TransCommand"), std::string::npos) << c.name << " stopped the job";
        EXPECT_NE(r.err.find("DEBUG: The job log " + kLog + " is not written: " + c.problem + "."),
                  std::string::npos)
            << c.name << ": " << r.err;
        EXPECT_EQ(ReadFile(victim), "keep") << c.name;
        struct stat st {};
        EXPECT_EQ(lstat(kLog.c_str(), &st), 0) << c.name << " was removed";
    }
    std::filesystem::remove_all(kLog);
    if (saved) WriteFile(kLog, *saved);
}

}  // namespace
