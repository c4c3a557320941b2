// Helpers of the PDF tests: small multi-page PDFs written by hand, poppler's own rendering of
// a page as the expected image, and fake tools placed first in PATH.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// A PDF of `pages` pages of 36 x 18 points; page k shows k black bars, a red and a blue square,
// so that every page and the colour order can be told apart.
std::string MakePdf(int pages);

// A page image as pdftoppm renders it, red-green-blue.
struct RgbImage {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> rgb;
};

// Runs /usr/bin/pdftoppm on one page exactly as the filter's command does, into `dir`, and
// reads the result. An empty image when it failed.
RgbImage PopplerPage(const std::string& pdf, unsigned page, unsigned dpi, const std::string& dir);

// The page image (blue-green-red rows rounded up to 4 bytes) of `width` x `height` pixels
// holding `image` at its top left, cut off where it is larger and white where it is smaller.
std::vector<uint8_t> PageImageOf(const RgbImage& image, uint32_t width, uint32_t height);

// Files in /tmp whose names start with `prefix`.
std::vector<std::string> TmpFilesStartingWith(const std::string& prefix);

// Puts `dir` first in PATH for the life of the object (the filters started meanwhile inherit it).
class PathPrefix {
  public:
    explicit PathPrefix(const std::string& dir);
    ~PathPrefix();
    PathPrefix(const PathPrefix&) = delete;
    PathPrefix& operator=(const PathPrefix&) = delete;

  private:
    std::string saved_;
};

// Writes fake pdfinfo and pdftoppm scripts into `dir` that only create `marker` and fail.
void WriteFakeTools(const std::string& dir, const std::string& marker);
// Writes the shell script `dir`/`name` with the given body.
void WriteTool(const std::string& dir, const std::string& name, const std::string& body);

// What `run` writes to standard error, in process.
std::string CaptureStderr(const std::function<void()>& run);
// True once the process has ended (a zombie has), waiting up to 2 seconds.
bool ProcessEnds(int pid);
double SecondsSince(std::chrono::steady_clock::time_point start);
