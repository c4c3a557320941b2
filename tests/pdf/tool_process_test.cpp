// Child tools: exit status, output limits, wall-time limits and cancels that end the whole
// process group of the tool.
#include "pdf/tool_process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "tests/pdf/pdf_test_support.h"
#include "tests/support/temp_dir.h"

namespace {

using std::chrono::milliseconds;

TEST(RunToolTest, HowToolsEnd) {
    struct Case {
        std::vector<std::string> argv;
        size_t maxOutput;
        ToolEnd end;
        int status;
        std::string output;
    };
    const std::vector<Case> cases = {
        {{"sh", "-c", "printf abc; exit 3"}, 10, ToolEnd::Exited, 3, "abc"},
        {{"sh", "-c", "printf abc >&2"}, 0, ToolEnd::Exited, 0, ""},
        {{"sh", "-c", "head -c 5000 /dev/zero"}, 1000, ToolEnd::TooMuchOutput, -1, ""},
        {{"sh", "-c", "kill -KILL $$"}, 10, ToolEnd::Killed, -1, ""},
        {{"mx-no-such-tool"}, 10, ToolEnd::NotRun, -1, ""},
    };
    for (const Case& c : cases) {
        const ToolResult r = RunTool({.argv = c.argv, .maxOutput = c.maxOutput});
        EXPECT_EQ(r.end, c.end) << c.argv.back();
        EXPECT_EQ(r.status, c.status) << c.argv.back();
        EXPECT_EQ(r.output, c.output) << c.argv.back();
    }
}

// A tool whose own child outlives it unless the whole group is killed.
class SlowToolTest : public ::testing::Test {
  protected:
    ToolRun Run() const {
        return {.argv = {"sh", "-c", "sleep 60 & echo $! > '" + pidFile + "'; wait"},
                .maxOutput = 100,
                .timeLimit = milliseconds(60000)};
    }
    void ExpectEndedWithItsChild(const ToolResult& r, ToolEnd end, double seconds) {
        EXPECT_EQ(r.end, end);
        EXPECT_LT(seconds, 1.5);
        EXPECT_TRUE(ProcessEnds(std::stoi(ReadFile(pidFile)))) << "the tool's own child";
    }
    TempDir dir;
    const std::string pidFile = dir.File("pid");
};

TEST_F(SlowToolTest, TimeLimitKillsTheToolAndItsChildren) {
    ToolRun run = Run();
    run.timeLimit = milliseconds(300);
    const auto start = std::chrono::steady_clock::now();
    const ToolResult r = RunTool(run);
    ExpectEndedWithItsChild(r, ToolEnd::TimedOut, SecondsSince(start));
}

TEST_F(SlowToolTest, CancelKillsTheToolAndItsChildren) {
    volatile sig_atomic_t canceled = 0;
    ToolRun run = Run();
    run.canceled = &canceled;
    std::thread cancel([&] {
        std::this_thread::sleep_for(milliseconds(300));
        canceled = 1;
    });
    const auto start = std::chrono::steady_clock::now();
    const ToolResult r = RunTool(run);
    cancel.join();
    ExpectEndedWithItsChild(r, ToolEnd::Canceled, SecondsSince(start));
}

}  // namespace
