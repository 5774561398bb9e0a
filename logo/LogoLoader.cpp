// Loading the logo picture: decode the file, bring its bitmap to 8-bit RGB or RGBA
// pixels, record its size in pixels and replace the pixel table; and the logo as a value.
#include "logo/LogoPicture.h"

#include "platform/image/Image.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

namespace zorvan {

namespace {

// The box of home points while there is no picture.
constexpr int NO_LOGO_WIDTH = 60;
constexpr int NO_LOGO_HEIGHT = 100;

// Whether the pixel table reads this bitmap as it stands: 8-bit samples, interleaved,
// RGB or RGBA in 3 or 4 bytes a pixel. The colour space is not examined.
bool readableAsDecoded(const BitmapImageRep& rep) {
    return rep.bitsPerSample() == 8 && !rep.isPlanar() &&
           (rep.bitsPerPixel() == 24 || rep.bitsPerPixel() == 32) &&
           (rep.samplesPerPixel() == 3 || rep.samplesPerPixel() == 4);
}

}  // namespace

LogoPicture::LogoPicture(const LogoPicture& other)
    : logoImageSrc(other.logoImageSrc), logoWidth(other.logoWidth), logoHeight(other.logoHeight),
      numNonBGPixels(other.numNonBGPixels) {
    if (!other.logo) return;
    const size_t bytes = sizeof(Colour) * size_t(logoWidth) * size_t(logoHeight);
    logo = static_cast<Colour*>(std::malloc(bytes));
    if (logo) std::memcpy(logo, other.logo, bytes);
    else numNonBGPixels = 0;
}

LogoPicture& LogoPicture::operator=(const LogoPicture& other) {
    if (this == &other) return *this;
    LogoPicture copy(other);
    std::swap(logoImageSrc, copy.logoImageSrc);
    std::swap(logo, copy.logo);
    logoWidth = copy.logoWidth;
    logoHeight = copy.logoHeight;
    numNonBGPixels = copy.numNonBGPixels;
    return *this;
}

LogoPicture::~LogoPicture() { std::free(logo); }

bool LogoPicture::logoTableUsable() const {
    if (!logo || logoWidth <= 0 || logoHeight <= 0 || numNonBGPixels < MIN_LOGO_PIXELS) return false;
    const int64_t entries = int64_t{logoWidth} * logoHeight;
    return int64_t{numNonBGPixels} * MAX_ENTRIES_PER_LOGO_PIXEL >= entries;
}

void LogoPicture::loadLogo(const std::optional<std::string>& logoFile, float minimumContrast) {
    logoImageSrc.reset();
    logoImageSrc = Image::initWithContentsOfFile(logoFile);

    std::unique_ptr<BitmapImageRep> bitmap;
    if (logoImageSrc) bitmap = logoImageSrc->bitmapRepresentation();
    if (!bitmap || bitmap->pixelsWide() <= 0 || bitmap->pixelsHigh() <= 0) {
        // No picture: no table either, so that the table, its size and its count always
        // agree; the home points go to the box at the centre.
        logoImageSrc.reset();
        std::free(logo);
        logo = nullptr;
        numNonBGPixels = 0;
        logoWidth = NO_LOGO_WIDTH;
        logoHeight = NO_LOGO_HEIGHT;
        return;
    }

    logoWidth = bitmap->pixelsWide();
    logoHeight = bitmap->pixelsHigh();

    if (!readableAsDecoded(*bitmap)) {
        // Redraw into 8-bit RGBA, pixel for pixel.
        std::unique_ptr<BitmapImageRep> rgba = BitmapImageRep::initWithBitmapDataPlanes(
            nullptr, logoWidth, logoHeight, 8, 4, true, false, NSCalibratedRGBColorSpace, 0, 0);
        if (rgba) {
            GraphicsContext::saveGraphicsState();
            GraphicsContext::setCurrentContext(GraphicsContext::graphicsContextWithBitmapImageRep(*rgba));
            const bool drawn = bitmap->drawInRect(
                Rect{0.0, 0.0, static_cast<double>(rgba->pixelsWide()), static_cast<double>(rgba->pixelsHigh())});
            GraphicsContext::restoreGraphicsState();
            rgba->setSize(logoImageSrc->size());
            // A bitmap that could not be drawn would give a table of nothing.
            if (!drawn) rgba.reset();
        }
        bitmap = std::move(rgba);
    }

    std::free(logo);
    logo = nullptr;
    if (bitmap) {
        logo = getPixelColoursFromBitmapRep(*bitmap, minimumContrast);
    } else {
        numNonBGPixels = 0;
    }
}

}  // namespace zorvan
