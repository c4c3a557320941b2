// Runs a CUPS filter program once as CUPS would (arguments, $PPD, the raster on standard
// input) and measures it.
#pragma once

#include <string>

struct FilterPass {
    double ms = 0;        // wall time from start to exit
    long rssKib = 0;      // peak resident memory of the filter process
    long long bytes = 0;  // bytes the filter wrote to standard output
    int exitStatus = -1;  // -1 when it did not exit by itself (a signal)
};

// False when the filter could not be run or did not exit with status 0.
bool RunFilterTimed(const std::string& filter, const std::string& ppd, const std::string& raster,
                    const std::string& title, const std::string& options, FilterPass& pass);
