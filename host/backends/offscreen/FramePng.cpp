// A frame as a PNG picture, encoded with libpng straight from the offscreen buffer, row
// by row (GL keeps the bottom row first), as opaque 8-bit RGB.
#include "host/backends/offscreen/FramePng.h"

#include "host/driver/FileOutput.h"

#include "platform/gl/OffscreenView.h"

#include <png.h>

#include <csetjmp>
#include <cstring>
#include <string>
#include <vector>

namespace zorvan::host {

namespace {

struct Encoder {
    std::vector<uint8_t> bytes;
    char message[200] = "";
};

void onWrite(png_structp png, png_bytep data, png_size_t length) {
    auto* e = static_cast<Encoder*>(png_get_io_ptr(png));
    e->bytes.insert(e->bytes.end(), data, data + length);
}

void onFlush(png_structp) {}

[[noreturn]] void onError(png_structp png, png_const_charp message) {
    auto* e = static_cast<Encoder*>(png_get_error_ptr(png));
    std::strncpy(e->message, message ? message : "unknown", sizeof e->message - 1);
    png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

// Encodes `rgba` (w x h, bottom row first) into `e.bytes`. Only plain data lives in this
// frame, since an error leaves it through longjmp.
bool encode(const uint8_t* rgba, png_uint_32 w, png_uint_32 h, Encoder& e) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &e, onError, onWarning);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, &e, onWrite, onFlush);
    png_set_IHDR(png, info, w, h, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_set_filler(png, 0, PNG_FILLER_AFTER);  // the rows carry alpha; the picture does not
    const size_t stride = size_t(w) * 4;
    for (png_uint_32 row = 0; row < h; ++row)
        png_write_row(png, const_cast<png_bytep>(rgba + size_t(h - 1 - row) * stride));
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

bool writeFramePng(const OffscreenView& gl, const std::string& path, std::string& error) {
    Encoder e;
    if (!encode(gl.pixels().data(), png_uint_32(gl.width()), png_uint_32(gl.height()), e)) {
        error = "cannot encode the " + std::to_string(gl.width()) + "x" +
                std::to_string(gl.height()) + " picture as PNG: " + (e.message[0] ? e.message : "out of memory");
        return false;
    }
    return writeWholeFile(path, e.bytes.data(), e.bytes.size(), "", error);
}

}  // namespace zorvan::host
