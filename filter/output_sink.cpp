#include "filter/output_sink.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

// A pipe holds 64 KiB by default: a large bitmap would wake the writer for every 64 KiB the
// reader takes. A wider one (up to what the kernel allows an unprivileged process) lets a page
// go out in one piece; where it cannot be had, the pipe stays as it is.
void WidenPipe(int fd) {
#ifdef F_SETPIPE_SZ
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISFIFO(st.st_mode)) ::fcntl(fd, F_SETPIPE_SZ, 1 << 20);
#else
    (void)fd;
#endif
}

}  // namespace

OutputSink::OutputSink(int fd) : fd_(fd) {
    WidenPipe(fd);
}

bool OutputSink::Write(const void* bytes, size_t length) {
    if (Failed()) return false;
    const auto* next = static_cast<const uint8_t*>(bytes);
    while (length > 0) {
        const ssize_t n = ::write(fd_, next, length);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            // A zero-byte write of a non-empty buffer cannot make progress either.
            error_ = n < 0 ? errno : EIO;
            return false;
        }
        next += n;
        length -= static_cast<size_t>(n);
        written_ += static_cast<uint64_t>(n);
    }
    return true;
}

std::string OutputSink::Describe() const {
    if (error_ == EPIPE) return "the printer connection was closed";
    return std::strerror(error_);
}

OutputSink& StandardOutput() {
    static OutputSink sink(STDOUT_FILENO);
    return sink;
}
