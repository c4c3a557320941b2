// PNG files through libpng. libpng reports errors with longjmp, so the functions that call it
// keep no object with a destructor alive between setjmp and the libpng calls.
#include <fcntl.h>
#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include "tools/preview/bitmap.h"

namespace {

void SetError(std::string* error, const std::string& text) {
    if (error != nullptr) *error = text;
}

bool IsBlackAndWhite(const GreyBitmap& image) {
    for (uint32_t y = 0; y < image.height(); ++y) {
        const uint8_t* row = image.Row(y);
        for (uint32_t x = 0; x < image.width(); ++x) {
            if (row[x] != GreyBitmap::kBlack && row[x] != GreyBitmap::kWhite) return false;
        }
    }
    return true;
}

void PackRow(const uint8_t* grey, uint32_t width, uint8_t* packed) {
    std::memset(packed, 0, (width + 7) / 8);
    for (uint32_t x = 0; x < width; ++x) {
        if (grey[x] == GreyBitmap::kWhite) packed[x / 8] |= uint8_t(0x80 >> (x % 8));
    }
}

// Returns false when libpng reported an error. `rowBuffer` holds (width + 7) / 8 bytes.
bool WritePngRows(png_structp png, png_infop info, FILE* file, const GreyBitmap& image, bool oneBit,
                  uint8_t* rowBuffer) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_init_io(png, file);
    png_set_IHDR(png, info, image.width(), image.height(), oneBit ? 1 : 8, PNG_COLOR_TYPE_GRAY,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (uint32_t y = 0; y < image.height(); ++y) {
        if (oneBit) {
            PackRow(image.Row(y), image.width(), rowBuffer);
            png_write_row(png, rowBuffer);
        } else {
            png_write_row(png, const_cast<uint8_t*>(image.Row(y)));
        }
    }
    png_write_end(png, info);
    return true;
}

// Reads the whole image as 8-bit grey into `pixels` (already sized width x height).
bool ReadPngRows(png_structp png, png_infop info, uint8_t* pixels, uint32_t width,
                 uint32_t height) {
    if (setjmp(png_jmpbuf(png))) return false;
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != width) png_error(png, "unexpected row size");
    for (int pass = 0; pass < passes; ++pass) {
        for (uint32_t y = 0; y < height; ++y)
            png_read_row(png, pixels + size_t{y} * width, nullptr);
    }
    png_read_end(png, nullptr);
    return true;
}

// Reads the header and sets up the conversion to 8-bit grey; false on a libpng error.
bool ReadPngHeader(png_structp png, png_infop info, FILE* file, uint32_t* width, uint32_t* height) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_init_io(png, file);
    png_read_info(png, info);
    *width = png_get_image_width(png, info);
    *height = png_get_image_height(png, info);
    const int colorType = png_get_color_type(png, info);
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_strip_alpha(png);
    if (colorType & PNG_COLOR_MASK_COLOR) png_set_rgb_to_gray_fixed(png, 1, -1, -1);
    return true;
}

}  // namespace

bool WritePng(const std::string& path, const GreyBitmap& image, std::string* error) {
    if (image.empty()) {
        SetError(error, "empty image");
        return false;
    }
    const int fd =
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
        SetError(error, path + ": " + std::strerror(errno));
        return false;
    }
    FILE* file = ::fdopen(fd, "wb");
    if (file == nullptr) {
        ::close(fd);
        SetError(error, path + ": " + std::strerror(errno));
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    const bool oneBit = IsBlackAndWhite(image);
    std::vector<uint8_t> rowBuffer((image.width() + 7) / 8);
    bool ok = info != nullptr && WritePngRows(png, info, file, image, oneBit, rowBuffer.data());
    png_destroy_write_struct(&png, &info);
    ok = (std::fclose(file) == 0) && ok;
    if (!ok) SetError(error, path + ": cannot write the PNG file");
    return ok;
}

std::optional<GreyBitmap> ReadPng(const std::string& path, std::string* error) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        SetError(error, path + ": " + std::strerror(errno));
        return std::nullopt;
    }
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    std::optional<GreyBitmap> image;
    uint32_t width = 0, height = 0;
    if (info != nullptr && ReadPngHeader(png, info, file, &width, &height) &&
        GreyBitmap::FitsLimit(width, height)) {
        std::vector<uint8_t> pixels(size_t{width} * height);
        if (ReadPngRows(png, info, pixels.data(), width, height)) {
            image.emplace(width, height);
            for (uint32_t y = 0; y < height; ++y) {
                for (uint32_t x = 0; x < width; ++x)
                    image->Set(x, y, pixels[size_t{y} * width + x]);
            }
        }
    }
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(file);
    if (!image) SetError(error, path + ": not a readable PNG file");
    return image;
}
