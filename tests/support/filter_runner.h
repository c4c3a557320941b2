// Starts a filter program exactly as CUPS does: argv "job-id user title copies options [file]",
// the queue's PPD in $PPD, the raster on standard input or as a file.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

// Where the filter's standard output goes.
enum class FilterStdout {
    Pipe,        // collected in FilterResult::out
    DevFull,     // every write fails with "No space left on device"
    ReaderGone,  // a pipe whose reading end is closed before the filter starts
};

struct FilterArgs {
    std::string jobId = "1";
    std::string user = "tester";
    std::string title = "label";
    std::string copies = "1";
    std::string options;
    std::optional<std::string> rasterFile;  // the seventh argument; standard input when absent
    std::string ppdPath;                    // $PPD; unset when empty
    std::vector<std::string> env;           // further NAME=value entries
    std::optional<std::vector<std::string>> argvOverride;  // exact arguments after argv[0]
    FilterStdout output = FilterStdout::Pipe;
};

struct FilterResult {
    int exitCode = -1;  // -1 when killed by a signal
    int termSignal = 0;
    std::string out;
    std::string err;
};

// A running filter whose standard input is a pipe the test writes to.
class FilterProcess {
  public:
    FilterProcess(const std::string& program, const FilterArgs& args);
    ~FilterProcess();
    FilterProcess(const FilterProcess&) = delete;
    FilterProcess& operator=(const FilterProcess&) = delete;

    void Write(const std::string& bytes);
    void CloseInput();
    // Collects output until `text` has appeared on standard output; false on time-out or exit.
    bool WaitForOutput(const std::string& text, std::chrono::milliseconds timeout);
    void Signal(int signal);
    // Collects output, the input left open, until the filter has closed its outputs; false
    // when that takes longer than `timeout`.
    bool WaitForExit(std::chrono::milliseconds timeout);
    // Closes the input, collects all output and waits for the exit.
    FilterResult Finish();

  private:
    bool Pump(std::chrono::milliseconds timeout);

    pid_t pid_ = -1;
    int in_ = -1;
    int out_ = -1;
    int err_ = -1;
    FilterResult result_;
};

// Runs a filter to completion with `input` on its standard input.
FilterResult RunFilter(const std::string& program, const FilterArgs& args,
                       const std::string& input = {});
