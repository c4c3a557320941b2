#include "tests/support/private_cupsd.h"

#include <arpa/inet.h>
#include <cups/cups.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <thread>

namespace fs = std::filesystem;

namespace {

constexpr const char* kCupsd = "/usr/sbin/cupsd";
constexpr const char* kServerBin = "/usr/lib/cups";
constexpr const char* kDataDir = "/usr/share/cups";

std::string ClientPath(const std::string& program) {
    for (const char* dir : {"/usr/bin/", "/usr/sbin/"}) {
        if (::access((dir + program).c_str(), X_OK) == 0) return dir + program;
    }
    return {};
}

sockaddr_in Loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// A port of 127.0.0.1 that nothing listens on now.
int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof(address);
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
                       ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0;
    ::close(fd);
    if (!bound) throw std::runtime_error("no free port");
    return ntohs(address.sin_port);
}

bool Accepts(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in address = Loopback(port);
    const bool ok =
        ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
    ::close(fd);
    return ok;
}

// Links every entry of `from` into `to`, except those named in `skip`.
void LinkEntries(const fs::path& from, const fs::path& to, const std::vector<std::string>& skip) {
    fs::create_directories(to);
    for (const fs::directory_entry& entry : fs::directory_iterator(from)) {
        const std::string name = entry.path().filename();
        if (std::find(skip.begin(), skip.end(), name) == skip.end())
            fs::create_symlink(entry.path(), to / name);
    }
}

std::string FilesConf(const std::string& root) {
    return "ServerRoot " + root + "/etc\nServerBin " + root + "/serverbin\nDataDir " + root +
           "/data\nRequestRoot " + root + "/spool\nTempDir " + root + "/spool/tmp\nCacheDir " +
           root + "/cache\nStateDir " + root + "/state\nAccessLog " + root +
           "/log/access_log\nErrorLog " + root + "/log/error_log\nPageLog " + root +
           "/log/page_log\nPrintcap " + root +
           "/state/printcap\nFileDevice Yes\n"
           "SystemGroup root\n";
}

// Anyone on the loop-back interface may do anything: no authentication to set up.
std::string CupsdConf(int port) {
    return "LogLevel debug\nListen 127.0.0.1:" + std::to_string(port) +
           "\nBrowsing No\nBrowseLocalProtocols none\nWebInterface No\nDefaultAuthType None\n"
           "ServerAlias *\n<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
           "<Policy default>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n</Policy>\n";
}

}  // namespace

std::string PrivateCupsd::Unavailable() {
    if (::access(kCupsd, X_OK) != 0) return std::string(kCupsd) + " is not installed";
    for (const char* client : {"lp", "lpadmin", "lpinfo", "cancel"}) {
        if (ClientPath(client).empty()) return std::string(client) + " is not installed";
    }
    return {};
}

PrivateCupsd::PrivateCupsd(const Setup& setup) {
    Configure(setup);
    Launch();
}

PrivateCupsd::~PrivateCupsd() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    for (int i = 0; i < 100; ++i) {
        if (::waitpid(pid_, nullptr, WNOHANG) == pid_) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
}

void PrivateCupsd::Configure(const Setup& setup) {
    const fs::path root = dir_.path();
    ::chmod(dir_.path().c_str(), 0755);
    for (const char* sub : {"etc", "serverbin/driver", "spool/tmp", "cache", "state", "log"})
        fs::create_directories(root / sub);
    LinkEntries(kServerBin, root / "serverbin", {"filter", "driver"});
    LinkEntries(fs::path(kServerBin) / "filter", root / "serverbin/filter", {});
    for (const auto& [name, program] : setup.filters) {
        fs::remove(root / "serverbin/filter" / name);
        fs::create_symlink(fs::absolute(program), root / "serverbin/filter" / name);
    }
    LinkEntries(kDataDir, root / "data", {"model"});
    const fs::path models = root / "data/model" / setup.modelFolder;
    fs::create_directories(models);
    for (const std::string& ppd : setup.ppds)
        fs::create_symlink(fs::absolute(ppd), models / fs::path(ppd).filename());
    port_ = FreePort();
    WriteFile(File("etc/cups-files.conf"), FilesConf(dir_.path()));
    WriteFile(File("etc/cupsd.conf"), CupsdConf(port_));
}

void PrivateCupsd::Launch() {
    const std::string out = File("log/cupsd.out"), conf = File("etc/cupsd.conf"),
                      files = File("etc/cups-files.conf");
    pid_ = ::fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        ::dup2(fd, 1);
        ::dup2(fd, 2);
        ::execl(kCupsd, "cupsd", "-f", "-c", conf.c_str(), "-s", files.c_str(), nullptr);
        _exit(127);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!Accepts(port_)) {
        if (::waitpid(pid_, nullptr, WNOHANG) == pid_ ||
            std::chrono::steady_clock::now() > deadline) {
            pid_ = -1;
            throw std::runtime_error("cupsd did not start: " + ReadFile(out) + ErrorLog());
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

FilterResult PrivateCupsd::Client(const std::string& program,
                                  const std::vector<std::string>& args) const {
    FilterArgs run;
    run.argvOverride = args;
    run.env = {"CUPS_SERVER=127.0.0.1:" + std::to_string(port_)};
    return RunFilter(ClientPath(program), run);
}

int PrivateCupsd::JobState(int jobId) const {
    http_t* http =
        httpConnect2("127.0.0.1", port_, nullptr, AF_INET, HTTP_ENCRYPTION_NEVER, 1, 5000, nullptr);
    if (http == nullptr) return 0;
    ipp_t* request = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr,
                 "ipp://localhost/");
    ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", jobId);
    ipp_t* response = cupsDoRequest(http, request, "/");
    ipp_attribute_t* state = ippFindAttribute(response, "job-state", IPP_TAG_ENUM);
    const int value = state != nullptr ? ippGetInteger(state, 0) : 0;
    ippDelete(response);
    httpClose(http);
    return value;
}

int PrivateCupsd::WaitForJob(int jobId, std::chrono::seconds timeout) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        const int state = JobState(jobId);
        if (state >= IPP_JSTATE_CANCELED) return state;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return 0;
}

std::string PrivateCupsd::ErrorLog() const {
    return ReadFile(File("log/error_log"));
}

int JobIdOf(const std::string& lpOutput) {
    const std::string lead = "request id is ";
    const size_t id = lpOutput.find(lead);
    if (id == std::string::npos) return 0;
    const size_t dash = lpOutput.find(' ', id + lead.size());
    if (dash == std::string::npos) return 0;
    const size_t number = lpOutput.rfind('-', dash);
    return number == std::string::npos ? 0 : std::atoi(lpOutput.c_str() + number + 1);
}
