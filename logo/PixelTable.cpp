// The logo pixel table: one colour per pixel of the logo's bitmap, with every pixel
// close to the first pixel's colour set to exactly that colour and the others counted.
#include "logo/LogoPicture.h"

#include "platform/image/Image.h"

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace zorvan {

Colour* LogoPicture::getPixelColoursFromBitmapRep(const BitmapImageRep& rep, float minimumContrast) {
    const int W = logoWidth;
    const int H = logoHeight;
    const uint8_t* data = rep.bitmapData();
    const int bitsPerPixel = rep.bitsPerPixel();
    const int bytesPerRow = rep.bytesPerRow();

    numNonBGPixels = 0;
    if (rep.bitsPerSample() != 8 || rep.samplesPerPixel() < 3 || bitsPerPixel < 24 || rep.isPlanar())
        return nullptr;

    // Beyond the layout tests: the table must fit the bitmap it reads. Nothing is
    // read outside the W x H pixels the bitmap holds, and an empty size gives no table
    // (a home pixel could not be picked from it). Pixels of 5 or 6 bytes (more 8-bit
    // samples) are read like the others: the first three bytes of each pixel.
    if (W <= 0 || H <= 0 || W > rep.pixelsWide() || H > rep.pixelsHigh() || data == nullptr ||
        bitsPerPixel % 8 != 0)
        return nullptr;
    const size_t step = static_cast<size_t>(bitsPerPixel / 8);
    size_t rowBytes = 0, entries = 0, bytes = 0;
    if (__builtin_mul_overflow(static_cast<size_t>(W), step, &rowBytes) || bytesPerRow < 0 ||
        static_cast<size_t>(bytesPerRow) < rowBytes)
        return nullptr;
    if (__builtin_mul_overflow(static_cast<size_t>(W), static_cast<size_t>(H), &entries) ||
        __builtin_mul_overflow(entries, sizeof(Colour), &bytes) ||
        entries > static_cast<size_t>(INT_MAX))  // the count is an int
        return nullptr;

    Colour* table = static_cast<Colour*>(std::malloc(bytes));
    if (table == nullptr) return nullptr;

    // A negative or undefined threshold would count pixels equal to the background.
    const float threshold = minimumContrast >= 0.0f ? minimumContrast : 0.0f;

    size_t k = 0;
    for (int y = 0; y < H; ++y) {
        const uint8_t* row = data + static_cast<size_t>(y) * static_cast<size_t>(bytesPerRow);
        for (int x = 0; x < W; ++x, ++k) {
            const uint8_t* pixel = row + static_cast<size_t>(x) * step;
            Colour& c = table[k];
            c.r = static_cast<float>(pixel[0]) / 255.0f;
            c.g = static_cast<float>(pixel[1]) / 255.0f;
            c.b = static_cast<float>(pixel[2]) / 255.0f;

            const Colour bg0 = table[0];
            const float dr = c.r - bg0.r;
            const float dg = c.g - bg0.g;
            const float db = c.b - bg0.b;
            const float d = dr * dr + dg * dg + db * db;
            if (d > threshold) {
                ++numNonBGPixels;
            } else {
                c.r = bg0.r;
                c.g = bg0.g;
                c.b = bg0.b;
            }
        }
    }
    return table;
}

}  // namespace zorvan
