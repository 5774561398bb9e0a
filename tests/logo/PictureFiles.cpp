#include "PictureFiles.h"

#include "platform/image/MagickSetup.h"
#include "platform/image/MagickVersions.h"

#include <Magick++.h>

#include <algorithm>

namespace zorvan::test {

Picture solidPicture(int width, int height, Rgba colour) {
    Picture p;
    p.width = width;
    p.height = height;
    p.pixels.assign(static_cast<size_t>(width) * height, colour);
    return p;
}

void writePicture(const Picture& picture, const std::string& path, const StoreAs& as) {
    zorvan::magick::ensureStarted();
    std::vector<uint8_t> rgba;
    rgba.reserve(picture.pixels.size() * 4);
    for (const Rgba& p : picture.pixels) rgba.insert(rgba.end(), {p.r, p.g, p.b, p.a});
    Magick::Image image;
    image.read(static_cast<size_t>(picture.width), static_cast<size_t>(picture.height), "RGBA",
               Magick::CharPixel, rgba.data());
    if (!as.alpha) zorvan::magick::setAlpha(image, false);
    const bool palette = as.coder == "PNG8" || as.coder == "GIF";
    if (as.grey) {
        image.type(as.alpha ? zorvan::magick::GreyAlphaType : Magick::GrayscaleType);
    } else if (palette) {
        image.type(as.alpha ? zorvan::magick::PaletteAlphaType : Magick::PaletteType);
    } else {
        image.type(as.alpha ? zorvan::magick::TrueColourAlphaType : Magick::TrueColorType);
    }
    if (as.planar) image.interlaceType(Magick::PlaneInterlace);
    if (as.depth > 0) image.depth(static_cast<size_t>(as.depth));
    // Left alone, the PNG writer stores 16-bit samples that fit in 8 bits as 8 bits.
    if (as.depth == 16 && as.coder.rfind("PNG", 0) == 0) image.defineValue("png", "bit-depth", "16");
    if (as.coder == "JPEG") image.quality(100);
    if (as.dpi > 0.0) {
        image.resolutionUnits(Magick::PixelsPerInchResolution);
        zorvan::magick::setDensity(image, as.dpi, as.dpi);
    }
    image.write(as.coder + ":" + path);
}

namespace {

uint32_t crc32(const uint8_t* data, size_t n, uint32_t crc = 0) {
    crc = ~crc;
    for (size_t i = 0; i < n; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void put32(std::vector<uint8_t>& out, uint32_t v) {
    out.insert(out.end(), {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)});
}

void chunk(std::vector<uint8_t>& png, const char* type, const std::vector<uint8_t>& data) {
    put32(png, static_cast<uint32_t>(data.size()));
    std::vector<uint8_t> body(type, type + 4);
    body.insert(body.end(), data.begin(), data.end());
    png.insert(png.end(), body.begin(), body.end());
    put32(png, crc32(body.data(), body.size()));
}

// Deflate bits, least significant first; Huffman codes go most significant first.
struct BitWriter {
    std::vector<uint8_t> bytes;
    int used = 8;
    void bit(unsigned b) {
        if (used == 8) { bytes.push_back(0); used = 0; }
        bytes.back() |= static_cast<uint8_t>((b & 1u) << used++);
    }
    void code(unsigned value, int bits) {
        for (int i = bits - 1; i >= 0; --i) bit(value >> i);
    }
};

// A zlib stream of `count` zero bytes: one fixed-Huffman block of a literal zero and
// then copies of 258 bytes at distance 1.
std::vector<uint8_t> zlibZeros(uint64_t count) {
    BitWriter w;
    w.bit(1);       // final block
    w.code(0b10, 2);  // fixed Huffman (type 1, written low bit first)
    uint64_t left = count;
    auto literalZero = [&] { w.code(0x30, 8); --left; };
    if (left > 0) literalZero();
    while (left >= 258) {
        w.code(0xC5, 8);  // length 258
        w.code(0, 5);     // distance 1
        left -= 258;
    }
    while (left > 0) literalZero();
    w.code(0, 7);  // end of block
    std::vector<uint8_t> z = {0x78, 0x01};
    z.insert(z.end(), w.bytes.begin(), w.bytes.end());
    const uint32_t a = 1, b = static_cast<uint32_t>(count % 65521);
    put32(z, (b << 16) | a);
    return z;
}

std::string pngWith(uint32_t width, uint32_t height, const std::vector<uint8_t>& idat) {
    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    std::vector<uint8_t> ihdr;
    put32(ihdr, width);
    put32(ihdr, height);
    ihdr.insert(ihdr.end(), {1, 0, 0, 0, 0});  // 1-bit greyscale, no interlace
    chunk(png, "IHDR", ihdr);
    chunk(png, "IDAT", idat);
    chunk(png, "IEND", {});
    return {png.begin(), png.end()};
}

}  // namespace

std::string blackPngBytes(uint32_t width, uint32_t height) {
    const uint64_t row = 1 + (static_cast<uint64_t>(width) + 7) / 8;  // filter byte and bits
    return pngWith(width, height, zlibZeros(row * height));
}

std::string lyingPngBytes(uint32_t width, uint32_t height) {
    return pngWith(width, height, zlibZeros(64));
}

std::string gifBytes(uint16_t width, uint16_t height, const std::vector<Rgba>& colours,
                     const std::vector<uint8_t>& indexes, int transparent) {
    int bits = 1;
    while ((size_t{1} << bits) < colours.size()) ++bits;
    std::string gif = "GIF89a";
    auto put16 = [&](unsigned v) { gif += char(v & 0xff); gif += char(v >> 8); };
    put16(width);
    put16(height);
    gif += char(0x80 | (bits - 1));  // a global colour table of 2^bits entries
    gif += '\0';
    gif += '\0';
    for (size_t i = 0; i < (size_t{1} << bits); ++i) {
        const Rgba c = i < colours.size() ? colours[i] : Rgba{};
        gif += {char(c.r), char(c.g), char(c.b)};
    }
    if (transparent >= 0) gif += {'\x21', '\xf9', '\4', '\1', '\0', '\0', char(transparent), '\0'};
    gif += '\x2c';
    put16(0);
    put16(0);
    put16(width);
    put16(height);
    gif += '\0';
    // LZW codes of one width: a clear code comes before the table would need wider ones.
    const int minimum = std::max(2, bits), width0 = minimum + 1;
    const unsigned clear = 1u << minimum;
    std::string data;
    uint32_t buffer = 0;
    int held = 0;
    auto code = [&](unsigned c) {
        buffer |= c << held;
        for (held += width0; held >= 8; held -= 8, buffer >>= 8) data += char(buffer & 0xff);
    };
    const size_t perClear = (size_t{1} << minimum) - 3;
    for (size_t i = 0; i < indexes.size(); ++i) {
        if (i % perClear == 0) code(clear);
        code(indexes[i]);
    }
    code(clear + 1);  // end of information
    if (held > 0) data += char(buffer & 0xff);
    gif += char(minimum);
    for (size_t at = 0; at < data.size(); at += 255) {
        const size_t n = std::min<size_t>(255, data.size() - at);
        gif += char(n);
        gif += data.substr(at, n);
    }
    gif += '\0';
    gif += ';';
    return gif;
}

}  // namespace zorvan::test
