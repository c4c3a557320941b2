// deflate_bench: compress time and size of real label graphics with the graphic encoder the Z64
// encoding uses, zlib and libdeflate.
//
//   deflate_bench <runs> <name>=<file.zpl> ...
//
// Each file is a stream written by rastomoxzpl; its first "~DG" graphic is decoded back to the
// one-bit rows the page transfer packed and compressed again in the zlib format by each method:
// the graphic encoder with its tables kept between graphics; zlib at its default level and with
// the match-chain tuning an earlier Z64 encoder used, both set up per graphic, the tuned one also
// kept and reset between graphics; libdeflate at a few levels with its compressor kept; and the
// whole Z64 encoder as built (its bytes are the "~DG" text sent). The methods take turns run by
// run so that all of them see the same load on a shared host; the median of each is printed.
// Every stream is inflated with zlib and compared with the graphic before it is timed.
#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "tools/zpldecode/graphic_data.h"
#include "tools/zpldecode/zpl_decoder.h"
#include "zpl/graphic_deflate.h"
#include "zpl/z64_encode.h"

namespace {

struct Graphic {
    std::vector<uint8_t> bytes;
    uint32_t bytesPerRow = 0;
};

// The first graphic the stream downloads, as the printer stores it.
bool ReadGraphic(const std::string& path, Graphic& graphic) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    bool found = false;
    ZplDecodeOptions options;
    options.renderImages = false;
    options.onDownload = [&](const ZplDownload& download, const std::vector<uint8_t>& dots) {
        if (found) return;
        found = true;
        graphic.bytesPerRow = download.bytesPerRow;
        graphic.bytes = dots;
    };
    DecodeZpl(buffer.str(), options);
    return found;
}

bool Inflates(const uint8_t* stream, size_t size, const std::vector<uint8_t>& original) {
    std::vector<uint8_t> out(original.size() + 1);
    uLongf outSize = out.size();
    return uncompress(out.data(), &outSize, stream, size) == Z_OK && outSize == original.size() &&
           std::equal(original.begin(), original.end(), out.begin());
}

// One method: compresses the graphic into `out`, returns the stream's size (0 on failure).
struct Method {
    using Run = std::function<size_t(const Graphic&, std::vector<uint8_t>& out)>;
    Method(std::string n, Run r) : name(std::move(n)), run(std::move(r)) {}
    std::string name;
    Run run;
    std::vector<double> micros;
    size_t bytes = 0;
};

size_t Zlib(const Graphic& g, std::vector<uint8_t>& out, bool tuned) {
    z_stream s{};
    if (deflateInit(&s, Z_DEFAULT_COMPRESSION) != Z_OK) return 0;
    if (tuned) deflateTune(&s, 4, 8, 64, 4);
    out.resize(deflateBound(&s, g.bytes.size()));
    s.next_in = const_cast<Bytef*>(g.bytes.data());
    s.avail_in = static_cast<uInt>(g.bytes.size());
    s.next_out = out.data();
    s.avail_out = static_cast<uInt>(out.size());
    const int result = deflate(&s, Z_FINISH);
    const size_t size = s.total_out;
    deflateEnd(&s);
    return result == Z_STREAM_END ? size : 0;
}

// zlib with the tuned stream made once and reset for each graphic, as a job could keep it.
Method ZlibKept() {
    auto s = std::make_shared<z_stream>();
    if (deflateInit(s.get(), Z_DEFAULT_COMPRESSION) != Z_OK) return {"zlib 6 tuned kept", nullptr};
    return {"zlib 6 tuned kept", [s](const Graphic& g, std::vector<uint8_t>& out) -> size_t {
                // A reset restores the level's match parameters, so the tuning follows it.
                if (deflateReset(s.get()) != Z_OK || deflateTune(s.get(), 4, 8, 64, 4) != Z_OK)
                    return 0;
                out.resize(deflateBound(s.get(), g.bytes.size()));
                s->next_in = const_cast<Bytef*>(g.bytes.data());
                s->avail_in = static_cast<uInt>(g.bytes.size());
                s->next_out = out.data();
                s->avail_out = static_cast<uInt>(out.size());
                return deflate(s.get(), Z_FINISH) == Z_STREAM_END ? s->total_out : 0;
            }};
}

// libdeflate with its compressor made once, as a job keeps it for all its pages.
Method Libdeflate(int level) {
    std::shared_ptr<libdeflate_compressor> c(libdeflate_alloc_compressor(level),
                                             libdeflate_free_compressor);
    return {"libdeflate " + std::to_string(level),
            [c](const Graphic& g, std::vector<uint8_t>& out) {
                out.resize(libdeflate_zlib_compress_bound(c.get(), g.bytes.size()));
                return libdeflate_zlib_compress(c.get(), g.bytes.data(), g.bytes.size(), out.data(),
                                                out.size());
            }};
}

// The encoder the Z64 encoding uses, its tables kept from graphic to graphic as in a job.
Method GraphicEncoder() {
    auto deflater = std::make_shared<GraphicDeflater>();
    return {"graphic encoder", [deflater](const Graphic& g, std::vector<uint8_t>& out) {
                out.resize(GraphicDeflater::Bound(g.bytes.size()));
                return deflater->Compress(g.bytes.data(), g.bytes.size(), g.bytesPerRow, out.data(),
                                          out.size());
            }};
}

// The whole "~DG" command as the renderer gets it, its size in bytes sent to the printer.
Method Encoder(CZB64Encode& encoder) {
    return {"Z64 encoder (text)", [&encoder](const Graphic& g, std::vector<uint8_t>& out) {
                char* text = nullptr;
                uint32_t length = 0;
                const uint32_t n =
                    encoder.EncodeZB64(g.bytes.data(), static_cast<uint32_t>(g.bytes.size()), 0,
                                       &text, &length, g.bytesPerRow, nullptr, false);
                out.assign(text, text + n);
                std::free(text);
                return size_t{n};
            }};
}

// The text must decode, CRC and all, to the graphic.
bool EncoderChecks(const std::vector<uint8_t>& text, const Graphic& g) {
    const std::string_view command(reinterpret_cast<const char*>(text.data()), text.size());
    const size_t data = command.find(":Z64:");
    if (data == std::string_view::npos || text.size() < data + 2) return false;
    const GraphicData decoded = DecodeGraphicData(command.substr(data, command.size() - 2 - data),
                                                  g.bytes.size(), g.bytesPerRow);
    return decoded.error.empty() && decoded.bytes == g.bytes;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

bool Measure(const std::string& label, const Graphic& g, std::vector<Method>& methods, int runs) {
    std::vector<uint8_t> out;
    for (Method& m : methods) {
        m.micros.clear();
        m.bytes = m.run(g, out);
        const bool checked =
            &m == &methods.back() ? EncoderChecks(out, g) : Inflates(out.data(), m.bytes, g.bytes);
        if (m.bytes == 0 || !checked) {
            std::fprintf(stderr, "deflate_bench: %s fails on %s\n", m.name.c_str(), label.c_str());
            return false;
        }
    }
    for (int r = 0; r < runs; ++r) {
        for (Method& m : methods) {
            const auto t0 = std::chrono::steady_clock::now();
            m.run(g, out);
            m.micros.push_back(
                std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0)
                    .count());
        }
    }
    for (const Method& m : methods) {
        std::printf("%-10s %8zu %5u %-18s %9.0f %8zu %6.2f%%\n", label.c_str(), g.bytes.size(),
                    g.bytesPerRow, m.name.c_str(), Median(m.micros), m.bytes,
                    100.0 * m.bytes / g.bytes.size());
    }
    return true;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: deflate_bench <runs> <name>=<file.zpl> ...\n");
        return 2;
    }
    const int runs = std::max(1, std::atoi(argv[1]));
    CZB64Encode encoder;
    std::vector<Method> methods = {
        GraphicEncoder(),
        {"zlib 6", [](const Graphic& g, std::vector<uint8_t>& o) { return Zlib(g, o, false); }},
        {"zlib 6 tuned",
         [](const Graphic& g, std::vector<uint8_t>& o) { return Zlib(g, o, true); }},
        ZlibKept(),
    };
    for (int level : {1, 3, 5, 6, 7, 9, 12}) methods.push_back(Libdeflate(level));
    methods.push_back(Encoder(encoder));

    std::printf("%-10s %8s %5s %-18s %9s %8s %7s\n", "label", "graphic", "row", "method",
                "median_us", "bytes", "ratio");
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        const size_t eq = arg.find('=');
        Graphic g;
        if (eq == std::string::npos || !ReadGraphic(arg.substr(eq + 1), g)) {
            std::fprintf(stderr, "deflate_bench: no Z64 graphic in %s\n", arg.c_str());
            return 1;
        }
        if (!Measure(arg.substr(0, eq), g, methods, runs)) return 1;
    }
    return 0;
}
