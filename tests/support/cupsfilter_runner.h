// Runs the real CUPS filter chain with cupsfilter (/usr/sbin/cupsfilter) on a document, as
// CUPS would for a queue with the given PPD, without installing anything into the system:
// a private ServerBin links every system filter and adds the test's own programs under the
// names the PPD asks for, and a private cups-files.conf points cupsfilter at it.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/filter_runner.h"

struct CupsFilterJob {
    std::string ppd;                           // -p: the queue's PPD
    std::string input;                         // the document
    std::string inputType;                     // -i: its MIME type; cupsfilter guesses when empty
    std::string outputType = "printer/label";  // -m; with a PPD the printer's final stream
    std::vector<std::pair<std::string, std::string>> options;  // -o name=value, in order
    // (name, path): programs placed in the private filter directory under `name`, replacing a
    // system filter of that name. Names are plain file names.
    std::vector<std::pair<std::string, std::string>> filters;
    std::string title = "label";  // -t
    std::optional<int> copies;    // -n
    bool listFilters = false;     // --list-filters: name the chain instead of running it
};

// Runs cupsfilter with -e (every filter of the PPD) and collects the printer stream (stdout),
// the filters' messages (stderr) and the exit status. Throws std::invalid_argument for a
// filter name with a path in it, std::runtime_error when the private ServerBin cannot be made.
FilterResult RunCupsFilter(const CupsFilterJob& job);
