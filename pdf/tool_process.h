// Runs an external program without a shell: the arguments reach it exactly as given, so no
// text from a job can become a command. The program runs in a process group of its own
// under a wall-time limit; a time-out or a cancel of the job kills the whole group.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "log/cancel_flag.h"

// The descriptor a tool finds its input file on (see ToolRun::inputFd).
constexpr int kToolInputFd = 3;

struct ToolRun {
    std::vector<std::string> argv;  // the program is looked up in PATH
    // When not -1, the tool gets this descriptor as kToolInputFd, to be named "/dev/fd/3".
    int inputFd = -1;
    // Standard output is collected up to this many bytes; a tool that writes more is killed.
    // With 0 it goes to /dev/null, so that nothing reaches the printer stream.
    size_t maxOutput = 0;
    std::chrono::milliseconds timeLimit{10000};
    CancelFlag canceled = nullptr;
};

enum class ToolEnd {
    Exited,         // `status` holds the exit status
    NotRun,         // the program could not be started
    Killed,         // ended by a signal from elsewhere
    TooMuchOutput,  // killed: more output than maxOutput
    TimedOut,       // killed: the time limit passed
    Canceled,       // killed: the job was canceled
};

struct ToolResult {
    ToolEnd end = ToolEnd::NotRun;
    int status = -1;
    std::string output;

    bool succeeded() const { return end == ToolEnd::Exited && status == 0; }
};

// Runs the tool with standard input and error on /dev/null and waits for it, testing the
// cancel flag and the time limit at least every 100 ms.
ToolResult RunTool(const ToolRun& run);
