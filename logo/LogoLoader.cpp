// Loading the logo picture: decode the file, bring its bitmap to 8-bit RGB or RGBA
// pixels, record its size in pixels and replace the pixel table.
#include "saver/Zorvan.h"

#include "platform/bundle/Bundle.h"
#include "platform/image/Image.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

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

// One line on stderr, once a process: every screen's view loads the same picture.
void warnOnce(const std::string& message) {
    static std::set<std::string> said;
    if (!said.insert(message).second) return;
    std::string line = "zorvan: warning: " + message;
    for (char& c : line)
        if (c == '\n' || c == '\r') c = ' ';
    std::fprintf(stderr, "%s\n", line.c_str());
}

}  // namespace

bool Zorvan::logoTableUsable() const {
    if (!logo || logoWidth <= 0 || logoHeight <= 0 || numNonBGPixels < MIN_LOGO_PIXELS) return false;
    const int64_t entries = int64_t{logoWidth} * logoHeight;
    return int64_t{numNonBGPixels} * MAX_ENTRIES_PER_LOGO_PIXEL >= entries;
}

void Zorvan::loadLogoAtStart() {
    loadLogo();
    if (!logoImageSrc) {
        // The file has gone or changed since it was chosen: the motes gather in the box
        // at the centre, as for any picture that cannot be read.
        warnOnce("cannot read the logo picture " + *logoFile + "; the motes gather at the centre instead");
        return;
    }
    if (logoTableUsable() || logoMode == 0) return;
    // Too little picture to gather into (and, sparse enough, a search for home points
    // that would take hours): the module's own picture, as the sheet does.
    warnOnce("the logo picture " + *logoFile + " has too few pixels apart from its background (" +
             std::to_string(numNonBGPixels) + " of " + std::to_string(int64_t{logoWidth} * logoHeight) +
             "); using Zorvan's own picture");
    logoMode = 0;
    logoFile = Bundle::bundleForClass().pathForImageResource("zorvan.pict");
    loadLogo();
}

void Zorvan::loadLogo() {
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
        logo = getPixelColoursFromBitmapRep(*bitmap);
    } else {
        numNonBGPixels = 0;
    }
}

}  // namespace zorvan
