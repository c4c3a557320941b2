#include "filter/job_messages.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "log/log4z.h"

namespace {

// Standard error belongs to the process, so the state of its last line does too. A page may be
// sent while the next is read, so its lines are written under one lock.
std::mutex lineLock;
bool midLine = false;
bool errorReported = false;

void Put(const char* text) {
    const size_t length = std::strlen(text);
    if (length == 0) return;
    std::fputs(text, stderr);
    midLine = text[length - 1] != '\n';
}

}  // namespace

void WriteStatus(const char* text) {
    const std::lock_guard<std::mutex> guard(lineLock);
    Put(text);
}

void ReportError(const char* format, ...) {
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof(text), format, args);
    va_end(args);
    LOGE("%s", text);
    const std::lock_guard<std::mutex> guard(lineLock);
    if (midLine) Put("\n");
    Put(errorReported ? "DEBUG: " : "ERROR: ");
    Put(text);
    Put("\n");
    errorReported = true;
}

bool ErrorReported() {
    const std::lock_guard<std::mutex> guard(lineLock);
    return errorReported;
}
