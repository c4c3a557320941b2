// Runs an external program without a shell: the arguments reach it exactly as given, so no
// text from a job can become a command.
#pragma once

#include <string>
#include <vector>

// The descriptor a tool finds its input file on (see RunTool's `inputFd`).
constexpr int kToolInputFd = 3;

// Runs `argv` (the program is looked up in PATH) with standard input and error on /dev/null
// and waits for it. When `inputFd` is not -1 the tool gets it as descriptor 3, to be named
// "/dev/fd/3" in its arguments. When `output` is given it receives the program's standard
// output (at most `maxOutput` bytes are kept); otherwise standard output goes to /dev/null,
// so that nothing reaches the printer stream. Returns the exit status, or -1 when it could
// not run or was killed by a signal.
int RunTool(const std::vector<std::string>& argv, int inputFd, std::string* output = nullptr,
            size_t maxOutput = size_t{1} << 20);
