// Pictures: decoding a file, its bitmap, and redrawing a bitmap into 8-bit RGBA.
//
// Backend: ImageMagick's Magick++ (Image.cpp, BitmapImageRep.cpp). Nothing of it
// shows here, so the module can use pictures without seeing the decoder.
//
// Implements: decoding PNG, JPEG, GIF, TIFF, BMP, PICT, PNM, TGA, WebP, ICO and XPM
// files (the first frame), the picture's nominal size from its resolution, its first
// bitmap in the picture's own layout (8 or 16 bits a sample; grey, grey and alpha,
// RGB, RGBA or palette indexes; planar for a planar TIFF), bitmaps over caller bytes,
// and drawing any such bitmap into an interleaved 8-bit RGBA bitmap.
// Does not implement: colour management (profiles are ignored; CMYK and other colour
// spaces become sRGB when decoded), animation, vector formats, or any format that
// would make the decoder run another program or read another file. Pictures are
// decoded in memory only, within ImageMagick's memory limit (256 MiB here): beyond
// about ten megapixels a picture counts as unreadable.
#pragma once

#include "platform/Geometry.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zorvan {

// Colour space names of a bitmap's samples.
inline constexpr const char* NSCalibratedRGBColorSpace = "NSCalibratedRGBColorSpace";
inline constexpr const char* NSCalibratedWhiteColorSpace = "NSCalibratedWhiteColorSpace";
// One 8-bit sample a pixel: an index into the bitmap's palette of 256 entries.
inline constexpr const char* IndexedColorSpace = "IndexedColorSpace";

struct PaletteEntry {
    uint8_t r = 0, g = 0, b = 0, a = 255;
};

// A bitmap: pixels in memory and the layout that says how to read them. Samples of 16
// bits are in the machine's byte order. Colour samples of a bitmap with alpha are
// premultiplied by it, so a transparent pixel reads as black, as drawn over black.
// A planar bitmap holds one plane a sample, each pixelsHigh x bytesPerRow bytes, the
// planes one after another.
class BitmapImageRep {
public:
    struct Layout {
        int pixelsWide = 0, pixelsHigh = 0;
        int bitsPerSample = 8;
        int samplesPerPixel = 4;
        bool hasAlpha = false;
        bool isPlanar = false;
        std::string colorSpaceName = NSCalibratedRGBColorSpace;
        int bytesPerRow = 0;
        int bitsPerPixel = 0;
    };

    // A new bitmap of the given layout. With `planes` null it allocates its own storage,
    // cleared to zero (transparent black); otherwise it copies the given planes (one
    // pointer a plane for a planar layout, else one). bytesPerRow 0 and bitsPerPixel 0
    // let the bitmap choose: packed pixels, rows padded to whole bytes. Null for a layout
    // it cannot hold (samples other than 8 or 16 bits, too few bits a pixel or bytes a
    // row, a size that does not fit in memory).
    static std::unique_ptr<BitmapImageRep> initWithBitmapDataPlanes(
        const uint8_t* const* planes, int pixelsWide, int pixelsHigh, int bitsPerSample,
        int samplesPerPixel, bool hasAlpha, bool isPlanar, const std::string& colorSpaceName,
        int bytesPerRow, int bitsPerPixel);

    // A bitmap over `bytes` with the layout exactly as declared, whether or not the
    // layout is coherent: for decoders that have checked it and for tests. The bytes
    // must cover every pixel the layout names; the last row may end at its last pixel.
    BitmapImageRep(Layout layout, std::vector<uint8_t> bytes,
                   std::vector<PaletteEntry> palette = {});

    int pixelsWide() const { return layout_.pixelsWide; }
    int pixelsHigh() const { return layout_.pixelsHigh; }
    int bitsPerSample() const { return layout_.bitsPerSample; }
    int samplesPerPixel() const { return layout_.samplesPerPixel; }
    int bitsPerPixel() const { return layout_.bitsPerPixel; }
    bool isPlanar() const { return layout_.isPlanar; }
    bool hasAlpha() const { return layout_.hasAlpha; }
    int bytesPerRow() const { return layout_.bytesPerRow; }
    const std::string& colorSpaceName() const { return layout_.colorSpaceName; }
    const Layout& layout() const { return layout_; }
    const std::vector<PaletteEntry>& palette() const { return palette_; }

    // The first byte of the first row (of the first plane); null for an empty bitmap.
    const uint8_t* bitmapData() const { return bytes_.empty() ? nullptr : bytes_.data(); }
    uint8_t* bitmapData() { return bytes_.empty() ? nullptr : bytes_.data(); }
    size_t byteCount() const { return bytes_.size(); }

    // The nominal size in points; the pixel size until set.
    Size size() const;
    void setSize(Size size) { size_ = size; }

    // Draws this bitmap into the current graphics context, scaled to `rect` (in the
    // target's pixels, origin at its lower-left corner). The rectangle's pixels are
    // replaced, alpha included. False, drawing nothing, when there is no current
    // context or this bitmap's layout is not one that it can read.
    bool drawInRect(Rect rect) const;

    // How many bitmaps drawInRect has drawn in this process, for diagnostics.
    static unsigned long drawCount();

private:
    Layout layout_;
    std::vector<uint8_t> bytes_;
    std::vector<PaletteEntry> palette_;
    std::optional<Size> size_;
};

// Where drawInRect draws: a bitmap of the interleaved 8-bit RGBA layout. There is one
// current context at a time; save and restore keep a stack of them. A bitmap that a
// context draws into must outlive its use.
class GraphicsContext {
public:
    // Null unless `rep` is interleaved 8-bit RGBA (4 samples, 32 bits a pixel, with alpha).
    static std::shared_ptr<GraphicsContext> graphicsContextWithBitmapImageRep(BitmapImageRep& rep);
    static void saveGraphicsState();
    static void restoreGraphicsState();
    static void setCurrentContext(std::shared_ptr<GraphicsContext> context);
    static std::shared_ptr<GraphicsContext> currentContext();

    BitmapImageRep& target() const { return *target_; }

private:
    explicit GraphicsContext(BitmapImageRep& target) : target_(&target) {}
    BitmapImageRep* target_;
};

// A decoded picture, kept for display and for its bitmap.
class Image {
public:
    // The picture in the file at `path`; null when there is no path, or the file is
    // missing, unreadable, not a picture of a known type, or beyond the decoder's limits.
    static std::shared_ptr<Image> initWithContentsOfFile(const std::optional<std::string>& path);
    ~Image();
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;

    // The nominal size in points (1/72 inch): the pixel size at the file's resolution,
    // or at 72 pixels an inch when the file gives none.
    Size size() const;
    int pixelsWide() const;
    int pixelsHigh() const;
    // The decoder's name for the file's format, e.g. "PNG".
    const std::string& format() const;

    // The picture's first bitmap, at its own pixel size and in its own layout; null
    // when it cannot be made.
    std::unique_ptr<BitmapImageRep> bitmapRepresentation() const;

    // The file types that initWithContentsOfFile reads, as lower-case file extensions.
    static std::vector<std::string> imageFileTypes();

private:
    struct Impl;
    explicit Image(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace zorvan
