// Runs cupstestppd on a shipped PPD (filters not installed while testing) and sorts its warnings.
#pragma once

#include <string>
#include <vector>

struct PpdCheck {
    bool passed = false;                          // exit status 0 and "PASS"
    std::vector<std::string> unexpectedWarnings;  // WARN lines matching none of the accepted texts
    std::string output;
};

// With `root`, the files the PPD names (its filters) are looked for below that directory.
PpdCheck CheckPpd(const std::string& path, const std::vector<std::string>& acceptedWarnings,
                  const std::string& root = {});
