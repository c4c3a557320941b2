#include "filter/output_sink.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

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
