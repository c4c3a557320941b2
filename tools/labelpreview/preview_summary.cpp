// The text summary of a previewed job (format described in label_preview.h).
#include <cstdio>
#include <sstream>

#include "tools/labelpreview/label_preview.h"
#include "tools/preview/summary_lines.h"

namespace {

const char* CutName(const PreviewLabel& receipt) {
    if (!receipt.cutAfter) return "no cut";
    return receipt.partialCut ? "partial cut" : "full cut";
}

void LabelLines(std::ostream& out, const PreviewJob& job, const PreviewLabel& label, bool receipt) {
    const std::string name =
        std::string(receipt ? "receipt " : "label ") + std::to_string(label.number);
    out << name << ": " << label.widthDots << " x " << label.lengthDots << " dots, "
        << DotsToMm(label.widthDots, job.dpi) << " x " << DotsToMm(label.lengthDots, job.dpi)
        << " mm, ";
    if (receipt) {
        out << CutName(label) << "\n";
    } else {
        out << "copies " << label.copies << ", cuts " << label.cuts << "\n";
    }
    for (const std::string& code : label.barcodes) out << name << " barcode " << code << "\n";
    if (job.barcodesRead && label.barcodes.empty()) out << name << " barcodes none\n";
}

}  // namespace

std::string FormatPreviewSummary(const PreviewJob& job) {
    std::ostringstream out;
    const bool receipts = job.language == PrinterLanguage::EscPos;
    out << "language " << LanguageName(job.language) << (job.detected ? " detected" : " given")
        << "\n";
    out << "resolution " << job.dpi << " dpi" << (job.dpiGuessed ? " guessed" : "") << "\n";
    for (const PreviewLabel& label : job.labels) LabelLines(out, job, label, receipts);
    for (size_t i = 0; i < job.rfid.size(); ++i) {
        char command[8];
        std::snprintf(command, sizeof(command), "%02x", job.rfid[i].command);
        out << "rfid " << i + 1 << ": offset " << job.rfid[i].offset << " command " << command
            << " length " << job.rfid[i].data.size() << " data " << HexDigits(job.rfid[i].data)
            << "\n";
    }
    if (receipts) {
        out << "receipts " << job.labels.size() << " cuts " << job.cuts << "\n";
        if (job.feedAfterCutDots > 0) {
            out << "fed after the last cut " << job.feedAfterCutDots << " dots, "
                << DotsToMm(job.feedAfterCutDots, job.dpi) << " mm\n";
        }
    } else {
        out << "labels " << job.labels.size() << " printed " << job.printed << " cuts " << job.cuts
            << "\n";
    }
    for (const std::string& w : job.warnings) out << "warning: " << w << "\n";
    for (const std::string& e : job.errors) out << "error: " << e << "\n";
    if (job.ok()) {
        out << "result ok\n";
    } else {
        out << "result errors " << job.errors.size() << "\n";
    }
    return out.str();
}
