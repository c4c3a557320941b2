// A label filter whose renderer records every call on standard output instead of printing.
// Built once per label filter (LABEL_FILTER selects the filter's definition), it lets tests
// drive the real job flow as CUPS would and see exactly what reaches the renderer.
//
// RECORDING_FAIL_PAGE=n makes TransCommand fail for page n; RECORDING_SWAP_BUFFER=1 makes it
// replace the page buffer with one of its own, as a resampling renderer does.
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include LABEL_FILTER_HEADER
#include "tests/support/raster_writer.h"

namespace {

class RecordingRenderer {
  public:
    RecordingRenderer() { std::printf("construct\n"); }
    ~RecordingRenderer() { std::printf("destroy\n"); }

    void SetOemCfgPointer(tagOEMCFG* cfg) { cfg_ = cfg; }
    void SetDevModePointer(_DEVMODE* devMode) { devMode_ = devMode; }
    void SetOemPdevPointer(_OEMPDEV* pdev) { pdev_ = pdev; }
    void SetOutputSink(OutputSink* /*output*/) {}

    int StartDocCMD() {
        if (cfg_ == nullptr || devMode_ == nullptr || pdev_ == nullptr) {
            std::printf("StartDocCMD detached\n");
            return 0;
        }
        std::printf(
            "StartDocCMD dpi=%d,%d orientation=%d collate=%d copies=%u size=%d,%d "
            "density=%d halftone=%d gap=%u levels=%d paper=%u\n",
            devMode_->dmPrintQuality, devMode_->dmYResolution, devMode_->dmOrientation,
            devMode_->dmCollate, pdev_->sCurCopies, pdev_->srcGdiInfo.szlPhysSize.cx,
            pdev_->srcGdiInfo.szlPhysSize.cy, static_cast<int>(cfg_->sDensity),
            cfg_->sHalftoneMethod, cfg_->GAPHeight, cfg_->nColorLevelsAdj, cfg_->sPaperType);
        std::fflush(stdout);
        return 7;
    }

    bool TransCommand(bool isLastPage, bool logFlag) {
        const tagBITMAPINFOHEADER& bmp = pdev_->bmInfoHeader;
        std::printf(
            "TransCommand page=%u last=%d log=%d width=%d height=%d bits=%u size=%u "
            "hash=%016" PRIx64 "\n",
            pdev_->dwCurPageNum, isLastPage, logFlag, bmp.biWidth, bmp.biHeight, bmp.biBitCount,
            pdev_->dwBufSize, Fnv1a(pdev_->pBufStart, pdev_->dwBufSize));
        std::fflush(stdout);
        const char* swap = std::getenv("RECORDING_SWAP_BUFFER");
        if (swap != nullptr && std::strcmp(swap, "1") == 0) {
            auto* replacement = static_cast<uint8_t*>(std::malloc(16));
            std::memset(replacement, 0x5A, 16);
            std::free(pdev_->pBufStart);
            pdev_->pBufStart = replacement;
            pdev_->dwBufSize = 16;
        }
        const char* fail = std::getenv("RECORDING_FAIL_PAGE");
        return fail == nullptr || std::strtoul(fail, nullptr, 10) != pdev_->dwCurPageNum;
    }

  private:
    tagOEMCFG* cfg_ = nullptr;
    _DEVMODE* devMode_ = nullptr;
    _OEMPDEV* pdev_ = nullptr;
};

}  // namespace

int main(int argc, char* argv[]) {
    // The records go out in step with the filter's own unbuffered output.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    LabelFilterDefinition definition = LABEL_FILTER;
    definition.makeRenderer = MakeLabelRenderer<RecordingRenderer>;
    return RunLabelFilter(argc, argv, definition);
}
