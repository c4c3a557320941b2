#include "tests/support/cupsfilter_runner.h"

#include <filesystem>
#include <stdexcept>

#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kCupsFilter = "/usr/sbin/cupsfilter";
constexpr const char* kSystemFilters = "/usr/lib/cups/filter";

bool PlainFileName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

// <root>/serverbin/filter holds a link to every system filter, then the job's own programs.
std::string MakeServerBin(const TempDir& root, const CupsFilterJob& job) {
    const fs::path serverBin = fs::path(root.path()) / "serverbin";
    const fs::path filters = serverBin / "filter";
    fs::create_directories(filters);
    for (const fs::directory_entry& entry : fs::directory_iterator(kSystemFilters)) {
        fs::create_symlink(entry.path(), filters / entry.path().filename());
    }
    for (const auto& [name, program] : job.filters) {
        fs::remove(filters / name);
        fs::create_symlink(fs::absolute(program), filters / name);
    }
    return serverBin.string();
}

std::vector<std::string> Arguments(const CupsFilterJob& job, const std::string& conf) {
    std::vector<std::string> args{"-c", conf, "-e", "-m", job.outputType, "-t", job.title};
    if (!job.ppd.empty()) args.insert(args.end(), {"-p", job.ppd});
    if (!job.inputType.empty()) args.insert(args.end(), {"-i", job.inputType});
    if (job.copies) args.insert(args.end(), {"-n", std::to_string(*job.copies)});
    for (const auto& [name, value] : job.options)
        args.insert(args.end(), {"-o", name + "=" + value});
    if (job.listFilters) args.push_back("--list-filters");
    args.insert(args.end(), {"--", job.input});
    return args;
}

}  // namespace

FilterResult RunCupsFilter(const CupsFilterJob& job) {
    for (const auto& filter : job.filters) {
        if (!PlainFileName(filter.first))
            throw std::invalid_argument("filter name with a path: " + filter.first);
    }
    TempDir root;
    std::string serverBin;
    try {
        serverBin = MakeServerBin(root, job);
    } catch (const fs::filesystem_error& e) {
        throw std::runtime_error(std::string("private ServerBin: ") + e.what());
    }
    const std::string conf = root.File("cups-files.conf");
    WriteFile(conf, "ServerBin " + serverBin + "\nDataDir /usr/share/cups\nServerRoot /etc/cups\n");
    FilterArgs args;
    args.argvOverride = Arguments(job, conf);
    return RunFilter(kCupsFilter, args);
}
