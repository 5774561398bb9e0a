// Bitmaps and their redraw into 8-bit RGBA, on Magick++: a bitmap to be drawn becomes
// a Magick image built from its samples (its palette, for indexes), scaled when the
// rectangle asks for it, and exported as 8-bit RGBA into the target's rows.
#include "platform/image/Image.h"

#include "platform/image/MagickSetup.h"
#include "platform/image/MagickVersions.h"

#include <Magick++.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <stdexcept>
#include <vector>

namespace zorvan {

namespace {

unsigned long drawnBitmaps = 0;

bool multiplyFits(size_t a, size_t b, size_t& out) { return !__builtin_mul_overflow(a, b, &out); }

// Colour samples a pixel for a colour space name, or 0 for one we do not know.
int colourSamplesOf(const std::string& space) {
    if (space == NSCalibratedRGBColorSpace || space == "NSDeviceRGBColorSpace") return 3;
    if (space == NSCalibratedWhiteColorSpace || space == "NSDeviceWhiteColorSpace") return 1;
    if (space == IndexedColorSpace) return 1;
    return 0;
}

// Bytes the layout's pixels span, or nothing when the layout is not coherent: samples
// of 8 or 16 bits, samples that match the colour space, pixels at least as wide as their
// samples and in whole bytes, rows at least as long as their pixels.
std::optional<size_t> spanOf(const BitmapImageRep::Layout& l) {
    if (l.pixelsWide < 0 || l.pixelsHigh < 0) return std::nullopt;
    if (l.bitsPerSample != 8 && l.bitsPerSample != 16) return std::nullopt;
    const int colour = colourSamplesOf(l.colorSpaceName);
    if (colour == 0 || l.samplesPerPixel != colour + (l.hasAlpha ? 1 : 0)) return std::nullopt;
    if (l.colorSpaceName == IndexedColorSpace && (l.bitsPerSample != 8 || l.hasAlpha))
        return std::nullopt;
    if (l.isPlanar) {
        if (l.bitsPerPixel != l.bitsPerSample) return std::nullopt;
    } else if (l.bitsPerPixel < l.bitsPerSample * l.samplesPerPixel || l.bitsPerPixel % 8 != 0) {
        return std::nullopt;
    }
    size_t rowBytes = 0;
    if (!multiplyFits(static_cast<size_t>(l.pixelsWide), static_cast<size_t>(l.bitsPerPixel / 8),
                      rowBytes))
        return std::nullopt;
    if (l.bytesPerRow < 0 || static_cast<size_t>(l.bytesPerRow) < rowBytes) return std::nullopt;
    if (l.pixelsWide == 0 || l.pixelsHigh == 0) return size_t{0};
    const size_t planes = l.isPlanar ? static_cast<size_t>(l.samplesPerPixel) : 1;
    size_t plane = 0, all = 0;
    if (!multiplyFits(static_cast<size_t>(l.bytesPerRow), static_cast<size_t>(l.pixelsHigh), plane))
        return std::nullopt;
    if (!multiplyFits(plane, planes - 1, all)) return std::nullopt;
    // The last row of the last plane may end at its last pixel.
    const size_t last = static_cast<size_t>(l.bytesPerRow) * static_cast<size_t>(l.pixelsHigh - 1) + rowBytes;
    if (__builtin_add_overflow(all, last, &all)) return std::nullopt;
    return all;
}

// The samples of every pixel, packed and interleaved, colour then alpha, as 8- or
// 16-bit values: the form Magick builds an image from.
template <typename Sample>
std::vector<Sample> packedSamples(const BitmapImageRep& rep) {
    const auto& l = rep.layout();
    const size_t w = static_cast<size_t>(l.pixelsWide), h = static_cast<size_t>(l.pixelsHigh);
    const size_t spp = static_cast<size_t>(l.samplesPerPixel);
    const size_t stride = static_cast<size_t>(l.bytesPerRow);
    const size_t planeBytes = stride * h;
    const size_t pixelBytes = static_cast<size_t>(l.bitsPerPixel / 8);
    const uint8_t* data = rep.bitmapData();
    std::vector<Sample> out(w * h * spp);
    for (size_t y = 0; y < h; ++y) {
        for (size_t x = 0; x < w; ++x) {
            for (size_t s = 0; s < spp; ++s) {
                const uint8_t* p = l.isPlanar ? data + s * planeBytes + y * stride + x * sizeof(Sample)
                                              : data + y * stride + x * pixelBytes + s * sizeof(Sample);
                Sample v;
                std::memcpy(&v, p, sizeof v);
                out[(y * w + x) * spp + s] = v;
            }
        }
    }
    return out;
}

// A Magick image of the bitmap's pixels.
Magick::Image magickImageOf(const BitmapImageRep& rep) {
    const auto& l = rep.layout();
    const size_t w = static_cast<size_t>(l.pixelsWide), h = static_cast<size_t>(l.pixelsHigh);
    Magick::Image image;
    if (l.colorSpaceName == IndexedColorSpace) {
        // A palette image: each pixel's colour from the palette, then the palette as
        // the colour map and each pixel's index into it. The pixels stay opaque, alpha
        // or not: the palette's colours are premultiplied.
        const auto& palette = rep.palette();
        auto entry = [&](size_t i) { return i < palette.size() ? palette[i] : PaletteEntry{}; };
        const size_t step = static_cast<size_t>(l.bitsPerPixel / 8);
        const uint8_t* data = rep.bitmapData();
        std::vector<uint8_t> rgb(w * h * 3);
        for (size_t y = 0; y < h; ++y) {
            const uint8_t* row = data + y * static_cast<size_t>(l.bytesPerRow);
            for (size_t x = 0; x < w; ++x) {
                const PaletteEntry e = entry(row[x * step]);
                uint8_t* px = rgb.data() + (y * w + x) * 3;
                px[0] = e.r;
                px[1] = e.g;
                px[2] = e.b;
            }
        }
        image.read(w, h, "RGB", Magick::CharPixel, rgb.data());
        bool translucent = false;
        for (size_t i = 0; i < 256; ++i) translucent = translucent || entry(i).a != 255;
        if (translucent) magick::setAlpha(image, true);
        image.colorMapSize(256);
        for (size_t i = 0; i < 256; ++i) {
            const PaletteEntry e = entry(i);
            image.colorMap(i, magick::colourOf(e.r, e.g, e.b, e.a));
        }
        {
            Magick::Pixels view(image);
            for (size_t y = 0; y < h; ++y)
                if (!magick::writeIndexRow(image, view, static_cast<ssize_t>(y), w,
                                           data + y * static_cast<size_t>(l.bytesPerRow), step))
                    throw std::runtime_error("palette image");
        }
        return image;
    }
    std::string map = l.colorSpaceName == NSCalibratedWhiteColorSpace ||
                              l.colorSpaceName == "NSDeviceWhiteColorSpace"
                          ? "I"
                          : "RGB";
    if (l.hasAlpha) map += "A";
    if (l.bitsPerSample == 8) {
        const auto samples = packedSamples<uint8_t>(rep);
        image.read(w, h, map, Magick::CharPixel, samples.data());
    } else {
        const auto samples = packedSamples<uint16_t>(rep);
        image.read(w, h, map, Magick::ShortPixel, samples.data());
    }
    return image;
}

// The graphics state: the current context and the saved ones.
struct GraphicsState {
    std::shared_ptr<GraphicsContext> current;
    std::vector<std::shared_ptr<GraphicsContext>> saved;
};

GraphicsState& graphicsState() {
    static GraphicsState state;
    return state;
}

long roundedPixel(double v) {
    if (!std::isfinite(v)) return 0;
    v = std::clamp(v, -1e9, 1e9);
    return std::lround(v);
}

}  // namespace

std::unique_ptr<BitmapImageRep> BitmapImageRep::initWithBitmapDataPlanes(
    const uint8_t* const* planes, int pixelsWide, int pixelsHigh, int bitsPerSample,
    int samplesPerPixel, bool hasAlpha, bool isPlanar, const std::string& colorSpaceName,
    int bytesPerRow, int bitsPerPixel) {
    if (colorSpaceName == IndexedColorSpace) return nullptr;  // a palette comes only from a decoder
    Layout l;
    l.pixelsWide = pixelsWide;
    l.pixelsHigh = pixelsHigh;
    l.bitsPerSample = bitsPerSample;
    l.samplesPerPixel = samplesPerPixel;
    l.hasAlpha = hasAlpha;
    l.isPlanar = isPlanar;
    l.colorSpaceName = colorSpaceName;
    if (bitsPerPixel == 0) {
        const long bits = isPlanar ? bitsPerSample : static_cast<long>(bitsPerSample) * samplesPerPixel;
        if (bits <= 0 || bits > 1024) return nullptr;
        bitsPerPixel = static_cast<int>(bits);
    }
    l.bitsPerPixel = bitsPerPixel;
    if (bytesPerRow == 0) {
        if (pixelsWide < 0 || bitsPerPixel < 0) return nullptr;
        const long long row = (static_cast<long long>(pixelsWide) * bitsPerPixel + 7) / 8;
        if (row > INT32_MAX) return nullptr;
        bytesPerRow = static_cast<int>(row);
    }
    l.bytesPerRow = bytesPerRow;
    const auto span = spanOf(l);
    if (!span) return nullptr;
    // Own storage holds whole rows in every plane.
    size_t total = 0;
    const size_t planeCount = isPlanar ? static_cast<size_t>(samplesPerPixel) : 1;
    if (!multiplyFits(static_cast<size_t>(bytesPerRow), static_cast<size_t>(pixelsHigh), total) ||
        !multiplyFits(total, planeCount, total))
        return nullptr;
    std::vector<uint8_t> bytes;
    try {
        bytes.assign(total, 0);
    } catch (const std::bad_alloc&) {
        return nullptr;
    } catch (const std::length_error&) {
        return nullptr;
    }
    if (planes != nullptr && total > 0) {
        const size_t planeBytes = total / planeCount;
        for (size_t p = 0; p < planeCount; ++p) {
            if (planes[p] == nullptr) return nullptr;
            std::memcpy(bytes.data() + p * planeBytes, planes[p], planeBytes);
        }
    }
    return std::make_unique<BitmapImageRep>(std::move(l), std::move(bytes));
}

BitmapImageRep::BitmapImageRep(Layout layout, std::vector<uint8_t> bytes,
                               std::vector<PaletteEntry> palette)
    : layout_(std::move(layout)), bytes_(std::move(bytes)), palette_(std::move(palette)) {}

Size BitmapImageRep::size() const {
    if (size_) return *size_;
    return {static_cast<double>(layout_.pixelsWide), static_cast<double>(layout_.pixelsHigh)};
}

bool BitmapImageRep::drawInRect(Rect rect) const {
    const std::shared_ptr<GraphicsContext> context = GraphicsContext::currentContext();
    if (!context) return false;
    const auto span = spanOf(layout_);
    if (!span || bytes_.size() < *span) return false;

    BitmapImageRep& target = context->target();
    const long tw = target.pixelsWide(), th = target.pixelsHigh();
    const long x0 = roundedPixel(rect.x), y0 = roundedPixel(rect.y);
    const long rw = roundedPixel(rect.width), rh = roundedPixel(rect.height);
    // The part of the rectangle inside the target, in rows from the top.
    const long left = std::max(0L, x0), right = std::min(tw, x0 + rw);
    const long top = std::max(0L, th - (y0 + rh)), bottom = std::min(th, th - y0);
    if (rw <= 0 || rh <= 0 || left >= right || top >= bottom || layout_.pixelsWide == 0 ||
        layout_.pixelsHigh == 0) {
        ++drawnBitmaps;
        return true;
    }

    magick::ensureStarted();
    try {
        Magick::Image image = magickImageOf(*this);
        if (rw != layout_.pixelsWide || rh != layout_.pixelsHigh) {
            Magick::Geometry scaled(static_cast<size_t>(rw), static_cast<size_t>(rh));
            scaled.aspect(true);
            image.resize(scaled);
        }
        // Export the visible part, then place its rows in the target's.
        const size_t cw = static_cast<size_t>(right - left), ch = static_cast<size_t>(bottom - top);
        const ssize_t sx = left - x0, sy = top - (th - (y0 + rh));
        std::vector<uint8_t> rgba(cw * ch * 4);
        image.write(sx, sy, cw, ch, "RGBA", Magick::CharPixel, rgba.data());
        uint8_t* dst = target.bitmapData();
        const size_t stride = static_cast<size_t>(target.bytesPerRow());
        for (size_t row = 0; row < ch; ++row)
            std::memcpy(dst + (static_cast<size_t>(top) + row) * stride + static_cast<size_t>(left) * 4,
                        rgba.data() + row * cw * 4, cw * 4);
    } catch (const std::exception&) {
        return false;
    }
    ++drawnBitmaps;
    return true;
}

unsigned long BitmapImageRep::drawCount() { return drawnBitmaps; }

std::shared_ptr<GraphicsContext> GraphicsContext::graphicsContextWithBitmapImageRep(BitmapImageRep& rep) {
    const auto& l = rep.layout();
    if (l.bitsPerSample != 8 || l.samplesPerPixel != 4 || l.bitsPerPixel != 32 || l.isPlanar ||
        !l.hasAlpha || l.colorSpaceName != NSCalibratedRGBColorSpace)
        return nullptr;
    const auto span = spanOf(l);
    if (!span || rep.byteCount() < *span) return nullptr;
    return std::shared_ptr<GraphicsContext>(new GraphicsContext(rep));
}

void GraphicsContext::saveGraphicsState() {
    auto& state = graphicsState();
    state.saved.push_back(state.current);
}

void GraphicsContext::restoreGraphicsState() {
    auto& state = graphicsState();
    if (state.saved.empty()) return;
    state.current = std::move(state.saved.back());
    state.saved.pop_back();
}

void GraphicsContext::setCurrentContext(std::shared_ptr<GraphicsContext> context) {
    graphicsState().current = std::move(context);
}

std::shared_ptr<GraphicsContext> GraphicsContext::currentContext() { return graphicsState().current; }

}  // namespace zorvan
