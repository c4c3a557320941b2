// A CUPS scheduler of the test's own: cupsd on a free port of 127.0.0.1, with its configuration,
// spool, state and logs in a temporary directory, never the system's. Its ServerBin links the
// system's CUPS programs, with the test's filters beside the system filters; its DataDir links
// the system's CUPS data and publishes the test's PPDs as the models "<folder>/<file name>",
// as an installed driver would, for lpinfo -m and lpadmin -m. As root, cupsd runs the filters
// as the user "lp", so everything it hands them must be readable by others.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/filter_runner.h"
#include "tests/support/temp_dir.h"

class PrivateCupsd {
  public:
    struct Setup {
        std::vector<std::pair<std::string, std::string>> filters;  // (name, program)
        std::string modelFolder;
        std::vector<std::string> ppds;  // published in `modelFolder` under their file names
    };

    // Empty when cupsd and the CUPS clients are installed; else what is missing.
    static std::string Unavailable();

    // Starts the scheduler; throws std::runtime_error, with its log, when it does not come up.
    explicit PrivateCupsd(const Setup& setup);
    ~PrivateCupsd();
    PrivateCupsd(const PrivateCupsd&) = delete;
    PrivateCupsd& operator=(const PrivateCupsd&) = delete;

    // Runs a CUPS client program ("lp", "lpadmin", "lpinfo", "cancel", ...) against it.
    FilterResult Client(const std::string& program, const std::vector<std::string>& args) const;
    // Waits until the job is completed, cancelled or aborted: its final IPP job state, or 0
    // when it did not end in time.
    int WaitForJob(int jobId, std::chrono::seconds timeout) const;
    std::string ErrorLog() const;
    // The scheduler's process, the parent of the filters it runs.
    pid_t Pid() const { return pid_; }
    // A file in the scheduler's directory, which lp (the filters' user) may read.
    std::string File(const std::string& name) const { return dir_.File(name); }

  private:
    void Configure(const Setup& setup);
    void Launch();
    int JobState(int jobId) const;

    TempDir dir_;
    int port_ = 0;
    pid_t pid_ = -1;
};

// The job id in lp's "request id is queue-42 (1 file(s))"; 0 when there is none.
int JobIdOf(const std::string& lpOutput);
