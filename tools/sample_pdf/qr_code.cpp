#include "tools/sample_pdf/qr_code.h"

#include <qrencode.h>

#include <memory>

std::optional<QrMatrix> MakeQrCode(const std::string& text) {
    if (text.empty()) return std::nullopt;
    std::unique_ptr<QRcode, decltype(&QRcode_free)> code(
        QRcode_encodeString8bit(text.c_str(), 0, QR_ECLEVEL_M), &QRcode_free);
    if (!code) return std::nullopt;
    QrMatrix matrix;
    matrix.size = code->width;
    matrix.dark.resize(size_t(code->width) * size_t(code->width));
    for (size_t i = 0; i < matrix.dark.size(); ++i)
        matrix.dark[i] = code->data[i] & 1;  // bit 0: dark
    return matrix;
}
