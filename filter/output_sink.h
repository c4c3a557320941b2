// Where a filter's printer stream goes. Every byte for the printer passes through one sink,
// which writes all of it or remembers why it could not, so that a job whose output was lost
// never ends as if it had printed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class OutputSink {
  public:
    // A sink on a pipe widens it (see WidenPipe).
    explicit OutputSink(int fd);
    OutputSink(const OutputSink&) = delete;
    OutputSink& operator=(const OutputSink&) = delete;

    // Writes every byte, retrying interrupted and short writes. False once a write has
    // failed; a failed sink writes nothing more. An empty write succeeds.
    bool Write(const void* bytes, size_t length);
    bool Write(std::string_view text) { return Write(text.data(), text.size()); }

    bool Failed() const { return error_ != 0; }
    // errno of the first failed write; 0 while none failed.
    int Error() const { return error_; }
    uint64_t BytesWritten() const { return written_; }
    // The failure in words for the job's error line, e.g. "No space left on device".
    std::string Describe() const;

  private:
    int fd_;
    int error_ = 0;
    uint64_t written_ = 0;
};

// The process's standard output, where CUPS takes the printer stream from.
OutputSink& StandardOutput();
