#include "tests/support/stdout_capture.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <stdexcept>

StdoutCapture::StdoutCapture() {
    char path[] = "/tmp/mxstdout.XXXXXX";
    file_ = mkstemp(path);
    if (file_ < 0) throw std::runtime_error("mkstemp failed");
    unlink(path);
    std::fflush(stdout);
    saved_ = dup(STDOUT_FILENO);
    dup2(file_, STDOUT_FILENO);
}

StdoutCapture::~StdoutCapture() {
    std::fflush(stdout);
    dup2(saved_, STDOUT_FILENO);
    close(saved_);
    close(file_);
}

std::string StdoutCapture::Take() {
    std::fflush(stdout);
    std::string text;
    char buffer[65536];
    lseek(file_, 0, SEEK_SET);
    for (ssize_t n; (n = read(file_, buffer, sizeof(buffer))) > 0;)
        text.append(buffer, static_cast<size_t>(n));
    lseek(file_, 0, SEEK_SET);
    if (ftruncate(file_, 0) != 0) throw std::runtime_error("ftruncate failed");
    return text;
}
