// SPDX-License-Identifier: GPL-3.0-or-later
#include "preview/png_file.h"

#include "files/atomic_write.h"

#include <png.h>

#include <cstdint>
#include <vector>

namespace vesk::preview {

namespace {

void appendBytes(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

void noFlush(png_structp) {}

// libpng reports its errors by a long jump: this frame holds nothing that needs a destructor,
// so the jump skips none.
bool encode(const Picture& picture, const std::vector<png_bytep>& rows,
            std::vector<std::uint8_t>& out) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png)) != 0) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, &out, appendBytes, noFlush);
    png_set_IHDR(png, info, static_cast<png_uint_32>(picture.width),
                 static_cast<png_uint_32>(picture.height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, const_cast<png_bytepp>(rows.data()));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

} // namespace

Result<std::vector<std::uint8_t>> encodePng(const Picture& picture) {
    if (picture.width <= 0 || picture.height <= 0) {
        return fail("the picture is empty");
    }
    const auto width = static_cast<std::size_t>(picture.width);
    std::vector<std::uint8_t> rgb(picture.pixels.size() * 3);
    for (std::size_t i = 0; i < picture.pixels.size(); ++i) {
        rgb[3 * i] = static_cast<std::uint8_t>(picture.pixels[i] >> 16);
        rgb[3 * i + 1] = static_cast<std::uint8_t>(picture.pixels[i] >> 8);
        rgb[3 * i + 2] = static_cast<std::uint8_t>(picture.pixels[i]);
    }
    std::vector<png_bytep> rows(static_cast<std::size_t>(picture.height));
    for (std::size_t y = 0; y < rows.size(); ++y) {
        rows[y] = rgb.data() + y * width * 3;
    }
    std::vector<std::uint8_t> bytes;
    if (!encode(picture, rows, bytes)) {
        return fail("the PNG encoder failed");
    }
    return bytes;
}

Result<> writePng(const std::string& path, const Picture& picture) {
    const Result<std::vector<std::uint8_t>> bytes = encodePng(picture);
    if (!bytes) {
        return fail("Cannot write \"" + path + "\": " + bytes.message());
    }
    return writeFileAtomically(path, *bytes);
}

} // namespace vesk::preview
