#include "tests/support/cupstestppd.h"

#include <sstream>

#include "tests/support/filter_runner.h"

PpdCheck CheckPpd(const std::string& path, const std::vector<std::string>& acceptedWarnings,
                  const std::string& root) {
    FilterArgs args;
    args.argvOverride = std::vector<std::string>{"-W", "filters", path};
    if (!root.empty()) args.argvOverride->insert(args.argvOverride->begin(), {"-R", root});
    const FilterResult r = RunFilter("/usr/bin/cupstestppd", args);
    PpdCheck check;
    check.output = r.out;
    check.passed = r.exitCode == 0 && r.out.find(": PASS\n") != std::string::npos;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);) {
        if (line.find("WARN") == std::string::npos) continue;
        bool accepted = false;
        for (const std::string& text : acceptedWarnings)
            accepted = accepted || line.find(text) != std::string::npos;
        if (!accepted) check.unexpectedWarnings.push_back(line);
    }
    return check;
}
