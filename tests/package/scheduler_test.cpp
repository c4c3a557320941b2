// The driver as a print administrator meets it, through a real CUPS scheduler of the test's
// own: lpinfo -m lists the eight models, lpadmin -m makes a queue of each with a file device,
// lp prints the sample label or receipt into it (read back with the decoders, barcodes and
// all), PPD options given with lp -o change what reaches the printer, and cancel stops a long
// job's filter.
#include <cups/ipp.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/label_checks.h"
#include "tests/support/private_cupsd.h"
#include "tools/epldecode/epl_decoder.h"
#include "tools/labelpreview/label_preview.h"
#include "tools/posdecode/pos_decoder.h"
#include "tools/tspldecode/tspl_decoder.h"
#include "tools/zpldecode/zpl_decoder.h"

namespace {

namespace fs = std::filesystem;

const std::string kPpdDir = MX_PPD_DIR;
const char* const kFolder = "mox-label-filters";

struct Model {
    const char* queue;  // also the PPD's file name without ".ppd"
    const char* makeAndModel;
    PrinterLanguage language;
    const char* options;  // PPD options for lp -o that change the output
    uint64_t cuts;        // with those options
    const char* setting;  // with those options: the darkness sent, or a receipt's drawer and marks
};

// The label options print 2 x 1 in labels, darker, with the cutter after every label; the
// receipt options feed without cutting, open the cash drawer and feed to the black mark.
const Model kModels[] = {
    {"mxzpl203", "Generic ZPL II Label Printer, 203 dpi", PrinterLanguage::Zpl,
     "PageSize=w144h72 Density=20 FeedModel=3", 1, "20"},
    {"mxzpl300", "Generic ZPL II Label Printer, 300 dpi", PrinterLanguage::Zpl,
     "PageSize=w144h72 Density=20 FeedModel=3", 1, "20"},
    {"mxtspl203", "Generic TSPL Label Printer, 203 dpi", PrinterLanguage::Tspl,
     "PageSize=w144h72 Density=12 Mode=4", 1, "12"},
    {"mxtspl300", "Generic TSPL Label Printer, 300 dpi", PrinterLanguage::Tspl,
     "PageSize=w144h72 Density=12 Mode=4", 1, "12"},
    {"mxepl203", "Generic EPL2 Label Printer, 203 dpi", PrinterLanguage::Epl,
     "PageSize=w144h72 Density=12 Mode=4", 1, "12"},
    {"mxepl300", "Generic EPL2 Label Printer, 300 dpi", PrinterLanguage::Epl,
     "PageSize=w144h72 Density=12 Mode=4", 1, "12"},
    {"mxpos58", "Generic ESC/POS Receipt Printer, 58 mm", PrinterLanguage::EscPos,
     "FeedingMode=0 Cashbox=1 BlackMark=1", 0, "drawer 1 marks 1"},
    {"mxpos80", "Generic ESC/POS Receipt Printer, 80 mm", PrinterLanguage::EscPos,
     "FeedingMode=0 Cashbox=1 BlackMark=1", 0, "drawer 1 marks 1"},
};

void PrintTo(const Model& model, std::ostream* out) {
    *out << model.queue;
}

std::string Setting(const std::string& stream, PrinterLanguage language) {
    auto find = [](const auto& settings, const std::string& command) {
        for (const auto& s : settings) {
            if (s.command == command) return s.params;
        }
        return std::string();
    };
    switch (language) {
        case PrinterLanguage::Zpl:
            return find(DecodeZpl(stream).settings, "~SD");
        case PrinterLanguage::Tspl: {
            const std::optional<int> density = DecodeTspl(stream).settings.density;
            return density ? std::to_string(*density) : "";
        }
        case PrinterLanguage::Epl:
            return find(DecodeEpl(stream).settings, "D");
        default: {
            const PosDecodeResult receipt = DecodeEscPos(stream);
            return "drawer " + std::to_string(receipt.drawerPulses) + " marks " +
                   std::to_string(receipt.blackMarks);
        }
    }
}

// The filter process of a queue's job run by `scheduler`: cupsd starts filters as its children,
// with the queue's name as argv[0]. Tests that run side by side have schedulers of their own with
// queues of the same names.
bool FilterRunning(pid_t scheduler, const std::string& queue, const std::string& filter) {
    std::error_code error;
    const std::string parent = "PPid:\t" + std::to_string(scheduler) + "\n";
    for (const fs::directory_entry& process : fs::directory_iterator("/proc", error)) {
        const std::string cmdline = ReadFile(process.path() / "cmdline");
        if (cmdline.substr(0, cmdline.find('\0')) != queue) continue;
        if (ReadFile(process.path() / "status").find(parent) == std::string::npos) continue;
        if (fs::read_symlink(process.path() / "exe", error).filename() == filter) return true;
    }
    return false;
}

class SchedulerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string missing = PrivateCupsd::Unavailable();
        if (!missing.empty()) GTEST_SKIP() << "cupsd cannot run here: " << missing;
        PrivateCupsd::Setup setup;
        setup.filters = {{"rastomoxzpl", RASTOMOXZPL},
                         {"rastomoxtspl", RASTOMOXTSPL},
                         {"rastomoxepl", RASTOMOXEPL},
                         {"rastertomoxdtpos", RASTERTOMOXDTPOS}};
        setup.modelFolder = kFolder;
        for (const Model& model : kModels)
            setup.ppds.push_back(kPpdDir + "/" + model.queue + ".ppd");
        cupsd = std::make_unique<PrivateCupsd>(setup);
    }

    // lpadmin -p <queue> -E -v file://... -m mox-label-filters/<queue>.ppd
    void AddQueue(const std::string& queue) {
        const FilterResult r = cupsd->Client(
            "lpadmin", {"-p", queue, "-E", "-v", "file://" + cupsd->File(queue + ".prn"), "-m",
                        std::string(kFolder) + "/" + queue + ".ppd"});
        ASSERT_EQ(r.exitCode, 0) << r.err;
    }

    // lp -d <queue> [-o option ...] <document>: the job id.
    int Submit(const std::string& queue, const std::string& document,
               const std::string& options = {}) {
        std::vector<std::string> args = {"-d", queue};
        std::istringstream words(options);
        for (std::string option; words >> option;) args.insert(args.end(), {"-o", option});
        args.push_back(document);
        const FilterResult r = cupsd->Client("lp", args);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return JobIdOf(r.out);
    }

    // Prints the document and returns what reached the printer's device file.
    std::string Print(const std::string& queue, const std::string& document,
                      const std::string& options = {}) {
        const int job = Submit(queue, document, options);
        EXPECT_EQ(cupsd->WaitForJob(job, std::chrono::seconds(60)), IPP_JSTATE_COMPLETED)
            << cupsd->ErrorLog();
        return ReadFile(cupsd->File(queue + ".prn"));
    }

    std::string Document(const Model& model) {
        if (model.language != PrinterLanguage::EscPos) return SampleLabelPdf(dir, "4x6in");
        const std::string width = std::string(model.queue).substr(5);
        const std::string path = dir.File("receipt-" + width + ".pdf");
        FilterArgs args;
        args.argvOverride = std::vector<std::string>{"receipt", "--width", width, "-o", path};
        RunFilter(SAMPLE_PDF, args);
        return path;
    }

    TempDir dir;
    std::unique_ptr<PrivateCupsd> cupsd;
};

TEST_F(SchedulerTest, ListsEveryModelByLanguageAndResolution) {
    const FilterResult r = cupsd->Client("lpinfo", {"-m"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    for (const Model& model : kModels) {
        const std::string line =
            std::string(kFolder) + "/" + model.queue + ".ppd " + model.makeAndModel + "\n";
        EXPECT_NE(r.out.find(line), std::string::npos) << line << r.out;
    }
}

class ModelTest : public SchedulerTest, public ::testing::WithParamInterface<Model> {};

TEST_P(ModelTest, PrintsTheSampleAndHonoursOptions) {
    const Model& model = GetParam();
    AddQueue(model.queue);
    const std::string document = Document(model);
    PreviewOptions read;
    read.readBarcodes = true;
    const std::string plainStream = Print(model.queue, document);
    const PreviewJob plain = PreviewStream(plainStream, read);
    EXPECT_EQ(plain.language, model.language);
    ASSERT_EQ(plain.labels.size(), 1u) << FormatPreviewSummary(plain);
    EXPECT_TRUE(plain.ok()) << FormatPreviewSummary(plain);
    const bool receipt = model.language == PrinterLanguage::EscPos;
    const std::vector<std::string> codes =
        receipt ? std::vector<std::string>{"CODE-128:R20240611", "QR-Code:RECEIPT:R20240611:TOTAL"}
                : std::vector<std::string>{"CODE-128:MX0012345678", "QR-Code:MXTRACK:MX0012345678"};
    const std::string summary = FormatPreviewSummary(plain);
    for (const std::string& code : codes)
        EXPECT_NE(summary.find(" barcode " + code + "\n"), std::string::npos) << summary;

    const std::string optionedStream = Print(model.queue, document, model.options);
    const PreviewJob optioned = PreviewStream(optionedStream);
    ASSERT_EQ(optioned.labels.size(), 1u) << FormatPreviewSummary(optioned);
    EXPECT_NE(optioned.cuts, plain.cuts);
    EXPECT_EQ(optioned.cuts, model.cuts);
    EXPECT_NE(Setting(plainStream, model.language), model.setting);
    EXPECT_EQ(Setting(optionedStream, model.language), model.setting);
    if (!receipt) {
        EXPECT_LT(optioned.labels[0].widthDots, plain.labels[0].widthDots);
    }
}

INSTANTIATE_TEST_SUITE_P(EveryModel, ModelTest, ::testing::ValuesIn(kModels),
                         [](const auto& info) { return std::string(info.param.queue); });

TEST_F(SchedulerTest, CancelStopsTheFilter) {
    AddQueue("mxzpl203");
    const std::string pdf = SampleLabelPdf(dir, "4x6in", 400);
    const int job = Submit("mxzpl203", pdf);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!FilterRunning(cupsd->Pid(), "mxzpl203", "rastomoxzpl") &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(FilterRunning(cupsd->Pid(), "mxzpl203", "rastomoxzpl")) << cupsd->ErrorLog();

    const FilterResult r = cupsd->Client("cancel", {std::to_string(job)});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto cancelled = std::chrono::steady_clock::now();
    while (FilterRunning(cupsd->Pid(), "mxzpl203", "rastomoxzpl") &&
           std::chrono::steady_clock::now() - cancelled < std::chrono::seconds(5))
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(FilterRunning(cupsd->Pid(), "mxzpl203", "rastomoxzpl"));
    EXPECT_EQ(cupsd->WaitForJob(job, std::chrono::seconds(10)), IPP_JSTATE_CANCELED);
}

}  // namespace
