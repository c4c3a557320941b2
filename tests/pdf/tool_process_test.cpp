// How child tools end (time limits and cancels: see the PDF page tests).
#include "pdf/tool_process.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

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

}  // namespace
