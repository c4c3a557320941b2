// sample_pdf: writes the sample documents that the filters are tried on.
//
//   sample_pdf label   [--size 4x6in|2x1in|100x150mm|WxH(in|mm|pt)] [--pages N]
//                      [--code128 TEXT] [--qr TEXT] -o out.pdf
//   sample_pdf receipt [--width 80|58] [--items N] [--length-mm L]
//                      [--code128 TEXT] [--qr TEXT] -o out.pdf
#include <cstdlib>
#include <iostream>
#include <string>

#include "tools/sample_pdf/samples.h"

namespace {

int Usage() {
    std::cerr
        << "Usage: sample_pdf label [--size 4x6in] [--pages N] [--code128 TEXT] [--qr TEXT] -o "
           "out.pdf\n"
           "       sample_pdf receipt [--width 80|58] [--items N] [--length-mm L] [--code128 TEXT]"
           " [--qr TEXT] -o out.pdf\n";
    return 2;
}

bool ParseNumber(const std::string& text, double low, double high, double& value) {
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return end != text.c_str() && *end == '\0' && value >= low && value <= high;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc < 2) return Usage();
    const std::string kind = argv[1];
    if (kind != "label" && kind != "receipt") return Usage();
    LabelSample label;
    ReceiptSample receipt;
    std::string output;
    for (int i = 2; i < argc; ++i) {
        const std::string option = argv[i];
        if (i + 1 >= argc) return Usage();
        const std::string value = argv[++i];
        double number = 0;
        if (option == "-o") {
            output = value;
        } else if (option == "--code128") {
            label.code128 = receipt.code128 = value;
        } else if (option == "--qr") {
            label.qr = receipt.qr = value;
        } else if (option == "--size" && kind == "label") {
            auto size = ParsePageSize(value);
            if (!size) return Usage();
            label.widthPt = size->first;
            label.heightPt = size->second;
        } else if (option == "--pages" && kind == "label" && ParseNumber(value, 1, 10000, number)) {
            label.pages = int(number);
        } else if (option == "--width" && kind == "receipt" &&
                   ParseNumber(value, 30, 120, number)) {
            receipt.paperMm = number;
        } else if (option == "--items" && kind == "receipt" &&
                   ParseNumber(value, 0, 100000, number)) {
            receipt.items = int(number);
        } else if (option == "--length-mm" && kind == "receipt" &&
                   ParseNumber(value, 0, 100000, number)) {
            receipt.minLengthMm = number;
        } else {
            return Usage();
        }
    }
    if (output.empty()) return Usage();
    PdfDocument doc;
    std::string error;
    const bool drawn =
        kind == "label" ? DrawLabel(doc, label, &error) : DrawReceipt(doc, receipt, &error);
    if (!drawn || !doc.Save(output, &error)) {
        std::cerr << "sample_pdf: " << error << "\n";
        return 1;
    }
    return 0;
}
