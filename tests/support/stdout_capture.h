// Collects what the code under test writes to standard output, in process.
#pragma once

#include <string>

class StdoutCapture {
  public:
    StdoutCapture();
    ~StdoutCapture();
    StdoutCapture(const StdoutCapture&) = delete;
    StdoutCapture& operator=(const StdoutCapture&) = delete;

    // Everything written since the capture started (or since the last Take).
    std::string Take();

  private:
    int saved_ = -1;
    int file_ = -1;
};
