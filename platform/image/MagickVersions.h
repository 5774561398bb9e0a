// What Magick++ spells differently in ImageMagick 6 and 7, for everything that uses
// it here: whether an image has alpha, the alpha of a colour, the image types with
// alpha, a density, and the colour-map indexes of a palette image's pixels. Nothing
// else that Zorvan uses differs; this is the one place that names a version.
#pragma once

#include <Magick++.h>

#include <cstddef>
#include <cstdint>

namespace zorvan::magick {

#if MagickLibVersion >= 0x700

inline bool hasAlpha(const Magick::Image& image) { return image.alpha(); }
// Adding alpha makes every pixel opaque; removing it leaves the colours.
inline void setAlpha(Magick::Image& image, bool on) { image.alpha(on); }

// A colour's alpha from 0 (transparent) to 1 (opaque).
inline double alphaOf(const Magick::Color& colour) { return Magick::ColorRGB(colour).alpha(); }

// A colour of 8-bit samples, alpha 255 opaque.
inline Magick::Color colourOf(uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
    Magick::ColorRGB colour(r / 255.0, g / 255.0, b / 255.0);
    colour.alpha(a / 255.0);
    return colour;
}

inline constexpr Magick::ImageType GreyAlphaType = Magick::GrayscaleAlphaType;
inline constexpr Magick::ImageType PaletteAlphaType = Magick::PaletteAlphaType;
inline constexpr Magick::ImageType TrueColourAlphaType = Magick::TrueColorAlphaType;

inline void setDensity(Magick::Image& image, double x, double y) { image.density(Magick::Point(x, y)); }

// The colour-map index of each of `columns` pixels of row `y`; false when the image
// has none (it is not a palette image).
inline bool readIndexRow(Magick::Image& image, Magick::Pixels& view, ssize_t y, size_t columns, size_t* out) {
    const Magick::Quantum* p = view.getConst(0, y, columns, 1);
    const ssize_t at = view.offset(Magick::IndexPixelChannel);
    if (p == nullptr || at < 0) return false;
    // A palette image keeps each pixel's index as one more channel.
    const size_t channels = image.channels();
    for (size_t x = 0; x < columns; ++x) out[x] = static_cast<size_t>(p[x * channels + static_cast<size_t>(at)]);
    return true;
}

// Sets the colour-map index of each of `columns` pixels of row `y`, leaving their
// colours; false when the image has no indexes.
inline bool writeIndexRow(Magick::Image& image, Magick::Pixels& view, ssize_t y, size_t columns,
                          const uint8_t* indexes, size_t step) {
    Magick::Quantum* q = view.get(0, y, columns, 1);
    const ssize_t at = view.offset(Magick::IndexPixelChannel);
    if (q == nullptr || at < 0) return false;
    const size_t channels = image.channels();
    for (size_t x = 0; x < columns; ++x)
        q[x * channels + static_cast<size_t>(at)] = static_cast<Magick::Quantum>(indexes[x * step]);
    view.sync();
    return true;
}

#else

inline bool hasAlpha(const Magick::Image& image) { return image.matte(); }
inline void setAlpha(Magick::Image& image, bool on) { image.matte(on); }

// ImageMagick 6 keeps opacity, alpha taken away: 0 is opaque.
inline double alphaOf(const Magick::Color& colour) { return 1.0 - colour.alpha(); }

inline Magick::Color colourOf(uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
    Magick::ColorRGB colour(r / 255.0, g / 255.0, b / 255.0);
    colour.alpha((255 - a) / 255.0);  // as opacity, from the 8-bit value: exact in 16 bits
    return colour;
}

inline constexpr Magick::ImageType GreyAlphaType = Magick::GrayscaleMatteType;
inline constexpr Magick::ImageType PaletteAlphaType = Magick::PaletteMatteType;
inline constexpr Magick::ImageType TrueColourAlphaType = Magick::TrueColorMatteType;

inline void setDensity(Magick::Image& image, double x, double y) {
    image.density(Magick::Geometry(static_cast<size_t>(x), static_cast<size_t>(y)));
}

// A palette image keeps its indexes beside its pixels.
inline bool readIndexRow(Magick::Image&, Magick::Pixels& view, ssize_t y, size_t columns, size_t* out) {
    if (view.getConst(0, y, columns, 1) == nullptr) return false;
    const Magick::IndexPacket* ix = view.indexes();
    if (ix == nullptr) return false;
    for (size_t x = 0; x < columns; ++x) out[x] = static_cast<size_t>(ix[x]);
    return true;
}

inline bool writeIndexRow(Magick::Image&, Magick::Pixels& view, ssize_t y, size_t columns,
                          const uint8_t* indexes, size_t step) {
    if (view.get(0, y, columns, 1) == nullptr) return false;
    Magick::IndexPacket* ix = view.indexes();
    if (ix == nullptr) return false;
    for (size_t x = 0; x < columns; ++x) ix[x] = static_cast<Magick::IndexPacket>(indexes[x * step]);
    view.sync();
    return true;
}

#endif

}  // namespace zorvan::magick
