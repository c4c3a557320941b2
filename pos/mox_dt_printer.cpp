#include "pos/mox_dt_printer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "imaging/bmp_processing.h"
#include "imaging/malloc_buffer.h"
#include "log/log4z.h"
#include "settings/ppd_access.h"

namespace {

// Table positions of the option entries.
constexpr int kLengthKey = 6;    // feed before the end of the document
constexpr int kFeedCutKey = 7;   // the feed or cut itself
constexpr int kOptionKey = 101;  // drawer pulse, black-mark feed

constexpr const char* kInitialise = "<1B><40>";
constexpr const char* kDrawerPulse = "<1B><70><00><33><00>";  // ESC p 0 51 0
constexpr const char* kBlackMarkFeed = "<1d><0c>";            // GS FF
constexpr const char* kPartialCut = "<1D><56><42><01>";       // GS V 66 1

// ESC J feeds of 0, 40, 80, 120, 160 and 200 motion units, by "CuttingLength" / "FeedingLength".
constexpr const char* kLengths[] = {
    "<1B><4A><00>",
    "<1B><4A><28>",
    "<1B><4A><50>",
    "<1B><4A><78>",
    "<1B><4A><78><1B><4A><28>",
    "<1B><4A><78><1B><4A><50>",
};

// GS ( L, function 69: print the stored graphic with key codes 0x00 0x00 at scale 1 x 1.
constexpr uint8_t kLogo[] = {0x1D, 0x28, 0x4C, 0x06, 0x00, 0x30, 0x45, 0x00, 0x00, 0x01, 0x01};

void AppendEntries(const std::map<int, std::string>& table, std::string& text) {
    for (const auto& [key, sequence] : table) text += sequence;
}

Halfton PatternFor(const char* name) {
    if (name == nullptr) return Halfton::Fixed;
    if (std::strcmp(name, "HT_PATSIZE_8x8_M") == 0) return Halfton::Matrix8x8;
    if (std::strcmp(name, "HT_PATSIZE_6x6_M") == 0) return Halfton::Matrix6x6;
    if (std::strcmp(name, "HT_PATSIZE_SUPERCELL_M") == 0) return Halfton::Supercell;
    return Halfton::Fixed;
}

}  // namespace

MoxDTPrinter::MoxDTPrinter() {
    StartDocCmd();
    StartPageCmd();
    EndPageCmd();
    EndJobCmd();
}

void MoxDTPrinter::StartJobCmd() {}

// Initialise, then GS P 203 203: motion units of 1/203 inch both ways.
void MoxDTPrinter::StartDocCmd() {
    m_mapStartDoc[0] = "<1B><40><1D><50><CB><CB>";
}

void MoxDTPrinter::StartPageCmd() {
    m_mapStartPage[1] = "<0D><0D>";
}

// ESC J 0: print what is buffered without feeding.
void MoxDTPrinter::EndPageCmd() {
    m_mapEndPage[1] = "<1B><4A><00>";
}

void MoxDTPrinter::EndDocCmd() {}

void MoxDTPrinter::EndJobCmd() {
    m_mapEndJob[104] = kInitialise;
}

void MoxDTPrinter::StartDoc(std::vector<uint8_t>& bytes) const {
    std::string text;
    AppendEntries(m_mapStartJob, text);
    AppendEntries(m_mapStartDoc, text);
    MoxESCP::SequenceToByte(text, bytes);
}

void MoxDTPrinter::StartPage(std::vector<uint8_t>& bytes) const {
    std::string text;
    AppendEntries(m_mapStartPage, text);
    MoxESCP::SequenceToByte(text, bytes);
}

void MoxDTPrinter::EndPage(std::vector<uint8_t>& bytes) const {
    std::string text;
    AppendEntries(m_mapEndPage, text);
    MoxESCP::SequenceToByte(text, bytes);
}

void MoxDTPrinter::EndDoc(std::vector<uint8_t>& bytes) const {
    std::string text;
    AppendEntries(m_mapEndDoc, text);
    AppendEntries(m_mapEndJob, text);
    MoxESCP::SequenceToByte(text, bytes);
}

void MoxDTPrinter::Page(std::vector<uint8_t>& bytes) const {
    bytes = m_escp.PrinterData();
}

void MoxDTPrinter::SetCashMode(ppd_file_t* ppd) {
    const int choice = GetOptionChoiceIndex("Cashbox", ppd);
    LOGD("Cashbox: %d", choice);
    if (choice == 1) m_mapEndDoc[kOptionKey] = kDrawerPulse;
    if (choice == 2) m_mapStartDoc[kOptionKey] = kDrawerPulse;
}

void MoxDTPrinter::SetBlackMarkMode(ppd_file_t* ppd) {
    const int choice = GetOptionChoiceIndex("BlackMark", ppd);
    LOGD("BlackMark: %d", choice);
    if (choice == 1) m_mapEndPage[kOptionKey] = kBlackMarkFeed;
    if (choice == 2) m_mapStartPage[kOptionKey] = kBlackMarkFeed;
}

void MoxDTPrinter::SetSavePageMode(ppd_file_t* ppd) {
    const int choice = GetOptionChoiceIndex("SavingPaper", ppd);
    LOGD("SavingPaper: %d", choice);
    m_bSkipBlankRows = choice == 0;
}

int MoxDTPrinter::SetFeedMode(ppd_file_t* ppd) {
    const int choice = GetOptionChoiceIndex("FeedingMode", ppd);
    LOGD("FeedingMode: %d", choice);
    if (choice < 0) return -1;
    if (choice == 0) m_mapEndDoc[kFeedCutKey] = "<1B><4A><78><1B><4A><6C>";  // ESC J 120, ESC J 108
    if (choice == 1) m_mapEndDoc[kFeedCutKey] = kPartialCut;
    if (choice == 2) m_mapEndPage[kFeedCutKey] = kPartialCut;
    return choice;
}

void MoxDTPrinter::SetLengthEntry(const char* keyword, ppd_file_t* ppd) {
    const int choice = GetOptionChoiceIndex(keyword, ppd);
    LOGD("%s: %d", keyword, choice);
    if (choice >= 0 && choice < static_cast<int>(std::size(kLengths)))
        m_mapEndDoc[kLengthKey] = kLengths[choice];
}

void MoxDTPrinter::SetCutLength(ppd_file_t* ppd) {
    SetLengthEntry("CuttingLength", ppd);
}

void MoxDTPrinter::SetFeedLength(ppd_file_t* ppd) {
    SetLengthEntry("FeedingLength", ppd);
}

void MoxDTPrinter::SetResolution(int dpiX, int dpiY) {
    m_escp.SetDpiX(dpiX);
    m_escp.SetDpiY(dpiY);
    m_escp.SetLinesPerRow(dpiY == 203 ? 24 : 8);
    m_escp.SetVerticalUnit(203);
}

void MoxDTPrinter::PrintLogo(ppd_file_t* ppd, OutputSink& out) const {
    const int choice = GetOptionChoiceIndex("PrintLogo", ppd);
    LOGD("PrintLogo: %d", choice);
    if (choice == 0) out.Write(kLogo, sizeof(kLogo));
}

bool MoxDTPrinter::TransCommand(const uint8_t* pixels, uint32_t length, int xOffset, int yOffset,
                                const cups_page_header2_t& header) {
    LOGD("Method TransCommand in");
    m_escp.ClearPrinterData();
    // The page image holds 24-bit pixels whatever the raster's own depth was.
    tagBITMAPINFOHEADER bitmap{};
    bitmap.biWidth = static_cast<int32_t>(header.cupsWidth);
    bitmap.biHeight = static_cast<int32_t>(header.cupsHeight);
    bitmap.biBitCount = 24;
    CBmpProcessing processing(BmpVariant::Receipt);
    uint8_t* grey = nullptr;
    uint32_t greySize = 0;
    tagRECT content{};
    const COLORLEVELSITEM levels{3.0f, 0, 255, 0, 255};
    if (!processing.CoverBMP2OutputFormat(pixels, length, &grey, &greySize, &bitmap, &content, 3,
                                          xOffset, yOffset, levels, false, 0, 0,
                                          static_cast<int32_t>(header.cupsWidth), 0)) {
        LOGE("the page image does not match its header (%u x %u, %u bytes)", header.cupsWidth,
             header.cupsHeight, length);
        return false;
    }
    const MallocBuffer owned(grey);
    if (grey == nullptr) {
        // The offsets moved the whole image off the paper: what is left is a white page.
        const uint32_t stride = DibStride(header.cupsWidth, 8);
        const std::vector<uint8_t> white(size_t{stride} * header.cupsHeight, 255);
        return SetPage(white.data(), stride, header.cupsWidth, header.cupsHeight,
                       "HT_PATSIZE_SUPERCELL_M");
    }
    const uint32_t stride = DibStride(static_cast<uint32_t>(bitmap.biWidth), bitmap.biBitCount);
    if (uint64_t{stride} * static_cast<uint32_t>(bitmap.biHeight) > greySize) return false;
    return SetPage(grey, stride, static_cast<uint32_t>(bitmap.biWidth),
                   static_cast<uint32_t>(bitmap.biHeight), "HT_PATSIZE_SUPERCELL_M");
}

bool MoxDTPrinter::SetPage(const uint8_t* grey, uint32_t stride, uint32_t width, uint32_t height,
                           const char* pattern) {
    if (grey == nullptr) return false;
    if (width == 0 || height == 0) {
        m_escp.ClearPrinterData();
        return true;
    }
    std::vector<uint8_t> bits(MoxESCP::BitRowBytes(stride) * height, 0);
    const std::span<const uint8_t> pixels(grey, size_t{stride} * height);
    if (MoxESCP::Gray2DotMatrix(pixels, stride, width, height, bits, PatternFor(pattern)) < 0)
        return false;
    const int built = m_bSkipBlankRows ? m_escp.DotMatrix2Page(bits, stride, width, height)
                                       : m_escp.DotMatrixPrint(bits, stride, 0, height);
    return built > 0;
}
