// A deflate encoder made for one-bit label graphics, writing the zlib format the Z64 encoding
// carries. A label is mostly blank paper, rows that repeat the row above (bars, boxes, thick
// strokes) and short runs of text; the encoder looks for exactly those matches first, passes over
// blank stretches a word at a time and keeps a short hash chain for the rest, so that it spends
// its time on the inked part of the label rather than on every byte of it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class GraphicDeflater {
  public:
    // The largest stream Compress can produce for `size` bytes of input: the input in stored
    // blocks with the zlib header and check value.
    static size_t Bound(size_t size);

    // Compresses `size` bytes, rows of `bytesPerRow` bytes (0 when the data has no rows), into a
    // zlib stream at `out`. Returns the stream's length, 0 when it does not fit `capacity` (or
    // the data reaches 4 GiB).
    size_t Compress(const uint8_t* data, size_t size, uint32_t bytesPerRow, uint8_t* out,
                    size_t capacity);

  private:
    void Parse(const uint8_t* data, size_t begin, size_t end, uint32_t bytesPerRow);

    // Literals and matches of the block being built: a literal is its byte; a match is
    // kMatch | (length - 3) << 16 | (distance - 1).
    std::vector<uint32_t> tokens_;
    std::vector<uint32_t> head_;  // position + 1 of the latest four-byte sequence per hash
    std::vector<uint32_t> prev_;  // the chain of earlier positions, by position in the window
};
