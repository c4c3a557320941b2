#include "tools/labelpreview/barcode_reader.h"

// In C++ the header puts the C interface in namespace zbar.
#include <zbar.h>

#include <memory>

namespace {

struct ScannerDeleter {
    void operator()(zbar::zbar_image_scanner_t* scanner) const {
        zbar::zbar_image_scanner_destroy(scanner);
    }
};
struct ImageDeleter {
    void operator()(zbar::zbar_image_t* image) const { zbar::zbar_image_destroy(image); }
};

}  // namespace

std::vector<std::string> ReadBarcodes(const GreyBitmap& image) {
    std::vector<std::string> codes;
    if (image.empty()) return codes;
    const std::unique_ptr<zbar::zbar_image_scanner_t, ScannerDeleter> scanner(
        zbar::zbar_image_scanner_create());
    const std::unique_ptr<zbar::zbar_image_t, ImageDeleter> frame(zbar::zbar_image_create());
    if (!scanner || !frame) return codes;
    // The canvas is already 8-bit grey, one byte a dot: zbar's "Y800" format, used in place.
    zbar::zbar_image_set_format(frame.get(), zbar_fourcc('Y', '8', '0', '0'));
    zbar::zbar_image_set_size(frame.get(), image.width(), image.height());
    zbar::zbar_image_set_data(frame.get(), image.Row(0), size_t{image.width()} * image.height(),
                              nullptr);
    if (zbar::zbar_scan_image(scanner.get(), frame.get()) <= 0) return codes;
    for (const zbar::zbar_symbol_t* s = zbar::zbar_image_first_symbol(frame.get()); s != nullptr;
         s = zbar::zbar_symbol_next(s)) {
        codes.push_back(
            std::string(zbar::zbar_get_symbol_name(zbar::zbar_symbol_get_type(s))) + ":" +
            std::string(zbar::zbar_symbol_get_data(s), zbar::zbar_symbol_get_data_length(s)));
    }
    return codes;
}
