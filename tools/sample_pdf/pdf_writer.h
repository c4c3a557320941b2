// A small vector PDF writer for sample documents: pages of filled rectangles and text in the
// standard Type 1 fonts (not embedded, WinAnsi encoding). Coordinates are points from the
// page's top-left corner, y growing downwards.
#pragma once

#include <string>
#include <vector>

enum class PdfFont { Helvetica, HelveticaBold, Courier };

class PdfPage {
  public:
    PdfPage(double widthPt, double heightPt) : width_(widthPt), height_(heightPt) {}

    double width() const { return width_; }
    double height() const { return height_; }

    // A black rectangle.
    void Rect(double x, double y, double w, double h);
    // Text with its baseline at y; characters outside printable ASCII become '?'.
    void Text(PdfFont font, double sizePt, double x, double baselineY, const std::string& text);

    const std::string& Content() const { return content_; }

  private:
    double width_;
    double height_;
    std::string content_;
};

class PdfDocument {
  public:
    PdfPage& AddPage(double widthPt, double heightPt);
    const std::vector<PdfPage>& pages() const { return pages_; }

    std::string Bytes() const;
    // Writes the file without following a symbolic link at `path`; false with the reason in
    // `error`.
    bool Save(const std::string& path, std::string* error = nullptr) const;

  private:
    std::vector<PdfPage> pages_;
};

// Width of text in Courier (every glyph is 0.6 em).
inline double CourierWidth(size_t characters, double sizePt) {
    return 0.6 * sizePt * double(characters);
}

constexpr double kPointsPerInch = 72.0;
constexpr double MmToPoints(double mm) {
    return mm * kPointsPerInch / 25.4;
}
