// Twenty RFID data jobs printing at once through the real ZPL filter: every label gets the
// data the label-design application holds for its own job and index.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/rfid/rfid_test_support.h"

namespace {

constexpr int kJobs = 20;
constexpr int kPages = 3;

std::string Title(int job) {
    return "RFID_job" + std::to_string(job) + ".lbl";
}

size_t Count(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

TEST(ConcurrentRfidJobsTest, EachJobPrintsOnlyItsOwnLabelsInOrder) {
    JobInfoFileGuard jobInfo;
    TempDir dir;
    // The peer answers each request with its own title and index, a little late, so that
    // the requests of the jobs overlap.
    Peer peer(dir.path(), {"--echo", "--delay-ms", "5"});
    ASSERT_TRUE(peer.ready());
    std::vector<TestPage> pages;
    for (int i = 0; i < kPages; ++i) pages.push_back(TestPage::Solid(40, 20, 0, 0, 0));
    WriteRasterFile(dir.File("job.ras"), pages);

    std::vector<std::unique_ptr<FilterProcess>> jobs;
    for (int job = 0; job < kJobs; ++job) {
        FilterArgs args;
        args.jobId = std::to_string(5000 + job);
        args.title = Title(job);
        args.ppdPath = std::string(MX_PPD_DIR) + "/mxzpl203.ppd";
        args.rasterFile = dir.File("job.ras");
        jobs.push_back(std::make_unique<FilterProcess>(RASTOMOXZPL, args));
    }
    for (int job = 0; job < kJobs; ++job) {
        const FilterResult r = jobs[job]->Finish();
        EXPECT_EQ(r.exitCode, 0) << job << ": " << r.err;
        EXPECT_EQ(Count(r.out, "^FDRFID_job"), size_t{kPages}) << "job " << job;
        size_t previous = 0;
        for (int label = 0; label < kPages; ++label) {
            const std::string data = "^FD" + Title(job) + "/" + std::to_string(label) + "^FS";
            const size_t at = r.out.find(data);
            ASSERT_NE(at, std::string::npos) << data;
            EXPECT_GE(at, previous) << data << " in order";
            previous = at;
        }
    }
    EXPECT_EQ(peer.Stop().size(), size_t{kJobs * kPages});
    RemoveQueue();
}

}  // namespace
