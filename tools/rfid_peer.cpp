// rfid_peer: a stand-in for the label-design application that holds the per-label data of
// RFID jobs. It creates the message queue (key 0x12345678), answers each "GET/<title>/<index>/"
// request with the contents of the file <dir>/<index>, answers "REMOVE/..." with "MSG_OK/",
// and answers "MSG_ERRIR/" when it has no data. See the README, section "RFID data jobs".
//
//   rfid_peer <dir> [--silent] [--echo] [--delay-ms N] [--max-requests N]
//
// --echo            answer "GET/<title>/<index>/" with "^FD<title>/<index>^FS" and a line
//                   feed instead of a file's contents, so that every job and label gets
//                   data of its own
// --silent          read requests but never answer
// --delay-ms N      wait N milliseconds before each answer
// --max-requests N  stop after N requests
//
// It prints "ready <queue id>" once the queue exists, then one "request: <text>" and one
// "reply: <text or size>" line per request. SIGTERM or SIGINT end it; the queue is removed
// on the way out.
#include <signal.h>
#include <sys/ipc.h>
#include <sys/msg.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "rfid/vx_file.h"

namespace {

volatile sig_atomic_t g_stop = 0;

void Stop(int) {
    g_stop = 1;
}

struct Options {
    std::string dir;
    bool silent = false;
    bool echo = false;
    long delayMs = 0;
    long maxRequests = -1;
};

struct Message {
    long mtype;
    char mtext[CVXFile::MAX_MSG_TEXT];
};

bool ParseOptions(int argc, char* argv[], Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--silent" || arg == "--echo") {
            (arg == "--silent" ? options.silent : options.echo) = true;
        } else if ((arg == "--delay-ms" || arg == "--max-requests") && i + 1 < argc) {
            (arg == "--delay-ms" ? options.delayMs : options.maxRequests) =
                std::strtol(argv[++i], nullptr, 10);
        } else if (options.dir.empty() && arg.rfind("--", 0) != 0) {
            options.dir = arg;
        } else {
            return false;
        }
    }
    return !options.dir.empty();
}

// The label index of "GET/<title>/<index>/": the digits between the last two slashes (the
// title itself may hold slashes). -1 when there is none.
long LabelIndex(const std::string& request) {
    if (request.size() < 2 || request.back() != '/') return -1;
    const size_t start = request.rfind('/', request.size() - 2);
    const std::string digits = request.substr(start + 1, request.size() - start - 2);
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) return -1;
    return std::strtol(digits.c_str(), nullptr, 10);
}

std::string LabelData(const std::string& dir, long index) {
    if (index < 0) return {};
    std::ifstream in(dir + "/" + std::to_string(index), std::ios::binary);
    std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return data.size() <= CVXFile::MAX_MSG_TEXT ? data : std::string();
}

std::string Answer(const Options& options, const std::string& request) {
    if (request.rfind(CVXFile::REMOVE_SIGN, 0) == 0) return CVXFile::MSG_OK;
    if (request.rfind(CVXFile::GET_SIGN, 0) != 0) return CVXFile::MSG_ERROR;
    const size_t signLength = std::strlen(CVXFile::GET_SIGN);
    if (options.echo && LabelIndex(request) >= 0) {
        const std::string data =
            "^FD" + request.substr(signLength, request.size() - signLength - 1) + "^FS\n";
        return data.size() <= CVXFile::MAX_MSG_TEXT ? data : std::string(CVXFile::MSG_ERROR);
    }
    const std::string data = LabelData(options.dir, LabelIndex(request));
    return data.empty() ? std::string(CVXFile::MSG_ERROR) : data;
}

void Reply(int queue, const std::string& text) {
    Message message{};
    message.mtype = CVXFile::REPLY_TYPE;
    std::memcpy(message.mtext, text.data(), text.size());
    if (::msgsnd(queue, &message, text.size(), 0) != 0)
        std::printf("reply failed: %s\n", std::strerror(errno));
    else if (text == CVXFile::MSG_OK || text == CVXFile::MSG_ERROR)
        std::printf("reply: %s\n", text.c_str());
    else
        std::printf("reply: %zu bytes\n", text.size());
}

int Serve(int queue, const Options& options) {
    for (long served = 0; !g_stop && served != options.maxRequests;) {
        Message message{};
        const ssize_t n = ::msgrcv(queue, &message, sizeof(message.mtext), CVXFile::REQUEST_TYPE,
                                   IPC_NOWAIT | MSG_NOERROR);
        if (n < 0) {
            if (errno != ENOMSG && errno != EINTR) {
                std::fprintf(stderr, "rfid_peer: msgrcv failed: %s\n", std::strerror(errno));
                return 1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        ++served;
        const std::string request(message.mtext, static_cast<size_t>(n));
        std::printf("request: %s\n", request.c_str());
        if (options.delayMs > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(options.delayMs));
        if (!options.silent) Reply(queue, Answer(options, request));
        std::fflush(stdout);
    }
    return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fputs("usage: rfid_peer <dir> [--silent] [--echo] [--delay-ms N] [--max-requests N]\n",
                   stderr);
        return 2;
    }
    struct sigaction action {};
    action.sa_handler = Stop;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);

    const int queue = ::msgget(CVXFile::MSG_QUEUE_KEY, IPC_CREAT | 0666);
    if (queue < 0) {
        std::fprintf(stderr, "rfid_peer: msgget failed: %s\n", std::strerror(errno));
        return 1;
    }
    std::printf("ready %d\n", queue);
    std::fflush(stdout);
    const int status = Serve(queue, options);
    // After the last request, give the filter its one-second wait to collect the reply
    // before the queue, and the reply in it, goes away.
    for (int i = 0; i < 150 && !g_stop && status == 0; ++i) {
        msqid_ds info{};
        if (::msgctl(queue, IPC_STAT, &info) != 0 || info.msg_qnum == 0) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::msgctl(queue, IPC_RMID, nullptr);
    std::printf("stopped\n");
    return status;
}
