#include "tools/sample_pdf/samples.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "tools/sample_pdf/code128.h"

namespace {

constexpr int kQuietModules = 10;   // Code 128 quiet zone on each side
constexpr int kQrQuietModules = 4;  // QR quiet zone on each side

// Helvetica capitals are about 0.7 em wide; text is cut to stay inside its column.
std::string Fit(const std::string& text, double widthPt, double sizePt) {
    const size_t fits = size_t(std::max(0.0, widthPt / (0.7 * sizePt)));
    return text.substr(0, std::min(text.size(), fits));
}

std::string Money(int cents) {
    char text[32];
    std::snprintf(text, sizeof(text), "%d.%02d", cents / 100, cents % 100);
    return text;
}

bool Barcodes(const std::string& code128, const std::string& qrText, std::vector<int>& modules,
              QrMatrix& qr, std::string* error) {
    auto symbols = Code128Symbols(code128);
    auto matrix = MakeQrCode(qrText);
    if (!symbols || !matrix) {
        if (error != nullptr)
            *error = !symbols ? "Code 128 cannot encode \"" + code128 + "\""
                              : "QR code cannot hold the text";
        return false;
    }
    modules = Code128Modules(*symbols);
    qr = std::move(*matrix);
    return true;
}

// A barcode centred in [left, left + width) with its human-readable text below in Courier.
void BarcodeBlock(PdfPage& page, const std::vector<int>& modules, const std::string& text,
                  double left, double width, double top, double barHeight, double textSize) {
    const int total = Code128Width(modules) + 2 * kQuietModules;
    const double module = std::min(2.5, width / total);
    DrawCode128(page, modules, left + (width - module * Code128Width(modules)) / 2, top, module,
                barHeight);
    const double textWidth = CourierWidth(text.size(), textSize);
    page.Text(PdfFont::Courier, textSize, left + (width - textWidth) / 2,
              top + barHeight + textSize, text);
}

void LabelPage(PdfPage& page, const LabelSample& s, const std::string& code,
               const std::vector<int>& modules, const QrMatrix& qr, int pageNumber) {
    const double w = page.width(), h = page.height();
    const double margin = std::max(4.0, 0.04 * std::min(w, h));
    const double font = std::clamp(std::min(w, h) / 24.0, 5.0, 14.0);
    const double codeFont = std::clamp(font * 0.8, 5.0, 11.0);
    const double barHeight = std::clamp(0.16 * h, 12.0, 80.0);
    const double bandTop = h - margin - 1.2 * codeFont - barHeight;
    BarcodeBlock(page, modules, code, margin, w - 2 * margin, bandTop, barHeight, codeFont);
    page.Rect(margin, bandTop - margin / 2, w - 2 * margin, std::max(0.5, font / 16));

    const std::string lines[] = {
        "SHIP TO:",
        "JANE DOE",
        "42 HARBOUR ROAD",
        "SPRINGFIELD 12345",
        "FROM: MOX LABS",
        "WEIGHT 1.2 KG",
        "PAGE " + std::to_string(pageNumber) + "/" + std::to_string(s.pages)};
    const double lineStep = 1.25 * font;
    const double areaBottom = bandTop - margin;
    const bool tall = h > 1.2 * w;
    double qrTop = margin, textWidth = w - 2 * margin;
    double qrSide = std::min(areaBottom - margin, 0.45 * w);
    if (tall) {
        qrTop = margin + lineStep * std::size(lines) + margin;
        qrSide = std::min(areaBottom - qrTop, 0.45 * w);
    } else {
        textWidth -= qrSide + margin;
    }
    double baseline = margin + font;
    for (size_t i = 0; i < std::size(lines) && baseline <= areaBottom; ++i, baseline += lineStep) {
        page.Text(i == 0 ? PdfFont::HelveticaBold : PdfFont::Helvetica, font, margin, baseline,
                  Fit(lines[i], textWidth, font));
    }
    if (qrSide > 0)
        DrawQr(page, qr, w - margin - qrSide, qrTop, qrSide / (qr.size + 2 * kQrQuietModules));
}

// Lays the receipt out from the top; draws when `page` is given, and returns the length used.
double ReceiptLayout(PdfPage* page, const ReceiptSample& s, const std::vector<int>& modules,
                     const QrMatrix& qr, const std::string& code) {
    const double paper = MmToPoints(s.paperMm);
    const double printable = MmToPoints(s.paperMm == 80   ? 72
                                        : s.paperMm == 58 ? 48
                                                          : std::max(10.0, s.paperMm - 8));
    const double left = (paper - printable) / 2;
    const double mono = 8;
    const size_t columns = size_t(printable / (0.6 * mono));
    double y = MmToPoints(4);
    auto text = [&](PdfFont font, double size, const std::string& line) {
        y += size * 1.3;
        if (page != nullptr) page->Text(font, size, left, y, line);
    };
    auto rule = [&] {
        y += 4;
        if (page != nullptr) page->Rect(left, y, printable, 0.7);
        y += 2;
    };
    auto columnsLine = [&](const std::string& name, const std::string& price) {
        const size_t room = columns > price.size() + 1 ? columns - price.size() - 1 : 0;
        std::string line = name.substr(0, room);
        line += std::string(columns - line.size() - price.size(), ' ') + price;
        text(PdfFont::Courier, mono, line);
    };
    text(PdfFont::HelveticaBold, 14, "MOX CORNER SHOP");
    text(PdfFont::Helvetica, 8, "12 Market Street, Springfield");
    text(PdfFont::Helvetica, 8, "Receipt " + code + "  2024-06-11 10:42");
    rule();
    static const char* const kItems[] = {"Coffee beans 500g",  "Oat milk 1l", "Sourdough loaf",
                                         "Butter 250g",        "Apples 1kg",  "Dark chocolate",
                                         "Sparkling water 6x", "Tea bags 80"};
    static const int kPrices[] = {899, 239, 420, 315, 289, 199, 474, 365};
    int total = 0;
    for (int i = 0; i < s.items; ++i) {
        const int price = kPrices[i % std::size(kPrices)];
        total += price;
        columnsLine(kItems[i % std::size(kItems)], Money(price));
    }
    rule();
    columnsLine("TOTAL", Money(total));
    y += 8;
    const double barHeight = MmToPoints(12);
    if (page != nullptr) BarcodeBlock(*page, modules, code, left, printable, y, barHeight, mono);
    y += barHeight + mono * 1.3 + 8;
    const double qrSide = std::min(printable, MmToPoints(30));
    if (page != nullptr)
        DrawQr(*page, qr, left + (printable - qrSide) / 2, y,
               qrSide / (qr.size + 2 * kQrQuietModules));
    y += qrSide;
    text(PdfFont::Helvetica, 8, "Thank you for shopping with us");
    return std::max(y + MmToPoints(6), MmToPoints(s.minLengthMm));
}

}  // namespace

std::string DefaultLabelCode128(double widthPt) {
    return widthPt < 200 ? "12345678" : "MX0012345678";
}
std::string DefaultLabelQr(double widthPt) {
    return widthPt < 200 ? "MX:12345678" : "MXTRACK:MX0012345678";
}

void DrawCode128(PdfPage& page, const std::vector<int>& modules, double x, double y,
                 double moduleWidth, double height) {
    double at = x;
    for (size_t i = 0; i < modules.size(); ++i) {
        if (i % 2 == 0) page.Rect(at, y, modules[i] * moduleWidth, height);
        at += modules[i] * moduleWidth;
    }
}

void DrawQr(PdfPage& page, const QrMatrix& qr, double x, double y, double moduleWidth) {
    const double origin = kQrQuietModules * moduleWidth;
    for (int row = 0; row < qr.size; ++row) {
        for (int col = 0; col < qr.size; ++col) {
            // Runs of dark modules become one rectangle.
            if (!qr.Dark(col, row)) continue;
            int end = col;
            while (end + 1 < qr.size && qr.Dark(end + 1, row)) ++end;
            page.Rect(x + origin + col * moduleWidth, y + origin + row * moduleWidth,
                      (end - col + 1) * moduleWidth, moduleWidth);
            col = end;
        }
    }
}

bool DrawLabel(PdfDocument& doc, const LabelSample& s, std::string* error) {
    const std::string code = s.code128.empty() ? DefaultLabelCode128(s.widthPt) : s.code128;
    const std::string qrText = s.qr.empty() ? DefaultLabelQr(s.widthPt) : s.qr;
    std::vector<int> modules;
    QrMatrix qr;
    if (!Barcodes(code, qrText, modules, qr, error)) return false;
    for (int p = 1; p <= s.pages; ++p)
        LabelPage(doc.AddPage(s.widthPt, s.heightPt), s, code, modules, qr, p);
    return true;
}

bool DrawReceipt(PdfDocument& doc, const ReceiptSample& s, std::string* error) {
    const std::string code = s.code128.empty() ? kReceiptCode128 : s.code128;
    const std::string qrText = s.qr.empty() ? kReceiptQr : s.qr;
    std::vector<int> modules;
    QrMatrix qr;
    if (!Barcodes(code, qrText, modules, qr, error)) return false;
    const double length = ReceiptLayout(nullptr, s, modules, qr, code);
    ReceiptLayout(&doc.AddPage(MmToPoints(s.paperMm), length), s, modules, qr, code);
    return true;
}

std::optional<std::pair<double, double>> ParsePageSize(const std::string& text) {
    double w = 0, h = 0;
    char unit[8] = "";
    int consumed = 0;
    if (std::sscanf(text.c_str(), "%lfx%lf%7[a-z]%n", &w, &h, unit, &consumed) < 2)
        return std::nullopt;
    if (consumed == 0) {  // no unit
        if (std::sscanf(text.c_str(), "%lfx%lf%n", &w, &h, &consumed) < 2) return std::nullopt;
    }
    if (size_t(consumed) != text.size() || !(w > 0 && h > 0 && w < 10000 && h < 10000))
        return std::nullopt;
    const std::string u = unit;
    if (u == "mm") return std::pair{MmToPoints(w), MmToPoints(h)};
    if (u == "in" || u.empty()) return std::pair{w * kPointsPerInch, h * kPointsPerInch};
    if (u == "pt") return std::pair{w, h};
    return std::nullopt;
}
