// Sample documents for the label and receipt filters: a shipping label and a shop receipt,
// each with text, a Code 128 barcode and a QR code, drawn as vector PDF.
#pragma once

#include <optional>
#include <string>
#include <utility>

#include "tools/sample_pdf/pdf_writer.h"
#include "tools/sample_pdf/qr_code.h"

struct LabelSample {
    double widthPt = 288;  // 4 x 6 in
    double heightPt = 432;
    std::string code128;  // empty: a default that fits the label
    std::string qr;       // empty: a default
    int pages = 1;
};

struct ReceiptSample {
    double paperMm = 80;     // 80 or 58 mm paper (72 and 48 mm printable); others: 4 mm margins
    int items = 6;           // item lines
    double minLengthMm = 0;  // the page is at least this long (blank at the end)
    std::string code128;
    std::string qr;
};

// The default barcode contents for a label of this width.
std::string DefaultLabelCode128(double widthPt);
std::string DefaultLabelQr(double widthPt);
inline const char* const kReceiptCode128 = "R20240611";
inline const char* const kReceiptQr = "RECEIPT:R20240611:TOTAL";

// Adds the pages; false (with the reason in `error`) when a barcode cannot encode its text.
bool DrawLabel(PdfDocument& doc, const LabelSample& sample, std::string* error);
bool DrawReceipt(PdfDocument& doc, const ReceiptSample& sample, std::string* error);

// Page sizes such as "4x6in", "2x1in", "100x150mm" (no unit: inches); width and height in points.
std::optional<std::pair<double, double>> ParsePageSize(const std::string& text);

// Drawing blocks, top-left corner at (x, y), sizes in points.
void DrawCode128(PdfPage& page, const std::vector<int>& modules, double x, double y,
                 double moduleWidth, double height);
void DrawQr(PdfPage& page, const QrMatrix& qr, double x, double y, double moduleWidth);
