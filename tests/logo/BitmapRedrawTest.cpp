// Drawing bitmaps of every layout into 8-bit RGBA, and the drawing state around it.
#include "platform/image/Image.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace zorvan;

namespace {

std::unique_ptr<BitmapImageRep> rgbaTarget(int w, int h) {
    return BitmapImageRep::initWithBitmapDataPlanes(nullptr, w, h, 8, 4, true, false,
                                                    NSCalibratedRGBColorSpace, 0, 0);
}

// Draws `source` pixel for pixel into a new RGBA bitmap and returns its bytes.
std::vector<uint8_t> redraw(const BitmapImageRep& source) {
    auto target = rgbaTarget(source.pixelsWide(), source.pixelsHigh());
    EXPECT_NE(target, nullptr);
    GraphicsContext::saveGraphicsState();
    GraphicsContext::setCurrentContext(GraphicsContext::graphicsContextWithBitmapImageRep(*target));
    EXPECT_TRUE(source.drawInRect({0, 0, double(source.pixelsWide()), double(source.pixelsHigh())}));
    GraphicsContext::restoreGraphicsState();
    const uint8_t* d = target->bitmapData();
    std::vector<uint8_t> out;
    for (int y = 0; y < target->pixelsHigh(); ++y)
        out.insert(out.end(), d + y * target->bytesPerRow(), d + y * target->bytesPerRow() + 4 * target->pixelsWide());
    return out;
}

}  // namespace

TEST(BitmapRedraw, NewBitmapsChooseTheirOwnRowsAndPixels) {
    auto rgba = rgbaTarget(5, 3);
    ASSERT_NE(rgba, nullptr);
    EXPECT_EQ(rgba->bitsPerPixel(), 32);
    EXPECT_GE(rgba->bytesPerRow(), 20);
    EXPECT_EQ(rgba->size().width, 5.0);
    rgba->setSize({2.5, 1.5});
    EXPECT_EQ(rgba->size().width, 2.5);

    auto planar16 = BitmapImageRep::initWithBitmapDataPlanes(nullptr, 5, 3, 16, 2, true, true,
                                                             NSCalibratedWhiteColorSpace, 0, 0);
    ASSERT_NE(planar16, nullptr);
    EXPECT_EQ(planar16->bitsPerPixel(), 16);
    EXPECT_EQ(planar16->bytesPerRow(), 10);
    EXPECT_EQ(planar16->byteCount(), 2u * 3u * 10u);

    // Layouts no bitmap can have.
    EXPECT_EQ(BitmapImageRep::initWithBitmapDataPlanes(nullptr, 5, 3, 12, 3, false, false,
                                                       NSCalibratedRGBColorSpace, 0, 0), nullptr);
    EXPECT_EQ(BitmapImageRep::initWithBitmapDataPlanes(nullptr, 5, 3, 8, 2, false, false,
                                                       NSCalibratedRGBColorSpace, 0, 0), nullptr);
    EXPECT_EQ(BitmapImageRep::initWithBitmapDataPlanes(nullptr, 5, 3, 8, 4, true, false,
                                                       NSCalibratedRGBColorSpace, 19, 0), nullptr);
    EXPECT_EQ(BitmapImageRep::initWithBitmapDataPlanes(nullptr, 1 << 30, 1 << 30, 8, 4, true, false,
                                                       NSCalibratedRGBColorSpace, 0, 0), nullptr);
}

TEST(BitmapRedraw, GivenPlanesAreCopied) {
    const uint8_t red[4] = {255, 0, 10, 20}, green[4] = {1, 2, 3, 4}, blue[4] = {9, 8, 7, 6};
    const uint8_t* planes[] = {red, green, blue};
    auto rep = BitmapImageRep::initWithBitmapDataPlanes(planes, 2, 2, 8, 3, false, true,
                                                        NSCalibratedRGBColorSpace, 0, 0);
    ASSERT_NE(rep, nullptr);
    const auto out = redraw(*rep);
    const uint8_t expected[] = {255, 1, 9, 255, 0, 2, 8, 255, 10, 3, 7, 255, 20, 4, 6, 255};
    EXPECT_EQ(std::memcmp(out.data(), expected, sizeof expected), 0);
}

TEST(BitmapRedraw, EveryReadableLayoutBecomesRgba) {
    // Grey 16-bit with alpha, interleaved, rows padded.
    {
        BitmapImageRep::Layout l{2, 1, 16, 2, true, false, NSCalibratedWhiteColorSpace, 12, 32};
        std::vector<uint8_t> bytes(12, 0xEE);
        const uint16_t samples[4] = {257 * 40, 65535, 257 * 200, 257 * 100};
        std::memcpy(bytes.data(), samples, sizeof samples);
        const auto out = redraw(BitmapImageRep(l, bytes));
        const uint8_t expected[] = {40, 40, 40, 255, 200, 200, 200, 100};
        EXPECT_EQ(std::memcmp(out.data(), expected, sizeof expected), 0);
    }
    // RGB 8-bit in 32-bit pixels without alpha: the filler byte is ignored.
    {
        BitmapImageRep::Layout l{2, 1, 8, 3, false, false, NSCalibratedRGBColorSpace, 8, 32};
        const auto out = redraw(BitmapImageRep(l, {1, 2, 3, 99, 4, 5, 6, 99}));
        const uint8_t expected[] = {1, 2, 3, 255, 4, 5, 6, 255};
        EXPECT_EQ(std::memcmp(out.data(), expected, sizeof expected), 0);
    }
    // Palette indexes.
    {
        BitmapImageRep::Layout l{3, 1, 8, 1, false, false, IndexedColorSpace, 3, 8};
        std::vector<PaletteEntry> palette(256);
        palette[0] = {0, 0, 0, 255};
        palette[7] = {10, 20, 30, 255};
        palette[255] = {250, 240, 230, 255};
        const auto out = redraw(BitmapImageRep(l, {7, 255, 0}, palette));
        const uint8_t expected[] = {10, 20, 30, 255, 250, 240, 230, 255, 0, 0, 0, 255};
        EXPECT_EQ(std::memcmp(out.data(), expected, sizeof expected), 0);
    }
}

TEST(BitmapRedraw, EveryPaletteIndexDrawsItsEntry) {
    // 16 x 16 pixels of every index, two bytes a pixel (the second ignored), rows padded;
    // half the entries translucent. Each pixel shows its entry's (premultiplied) colour.
    BitmapImageRep::Layout l{16, 16, 8, 1, false, false, IndexedColorSpace, 35, 16};
    std::vector<PaletteEntry> palette(256);
    for (int i = 0; i < 256; ++i) {
        const uint8_t a = i % 2 ? 255 : uint8_t(i);
        palette[size_t(i)] = {uint8_t(i * a / 255), uint8_t((255 - i) * a / 255), uint8_t((i * 7 % 256) * a / 255), a};
    }
    std::vector<uint8_t> bytes(35 * 16, 0xEE);
    for (int i = 0; i < 256; ++i) bytes[size_t(i / 16 * 35 + i % 16 * 2)] = uint8_t(255 - i);
    const auto out = redraw(BitmapImageRep(l, bytes, palette));
    for (int i = 0; i < 256; ++i) {
        const PaletteEntry e = palette[size_t(255 - i)];
        const uint8_t* px = out.data() + 4 * i;
        EXPECT_EQ(px[0], e.r) << i;
        EXPECT_EQ(px[1], e.g) << i;
        EXPECT_EQ(px[2], e.b) << i;
    }
}

TEST(BitmapRedraw, RectanglesCountFromTheLowerLeftAndScale) {
    BitmapImageRep::Layout l{1, 1, 8, 3, false, false, NSCalibratedRGBColorSpace, 3, 24};
    const BitmapImageRep red(l, {255, 0, 0});
    auto target = rgbaTarget(3, 2);
    GraphicsContext::saveGraphicsState();
    GraphicsContext::setCurrentContext(GraphicsContext::graphicsContextWithBitmapImageRep(*target));
    EXPECT_TRUE(red.drawInRect({0, 0, 1, 1}));     // the lower-left pixel
    EXPECT_TRUE(red.drawInRect({2, 0, 1, 2}));     // the right column, stretched
    EXPECT_TRUE(red.drawInRect({5, 5, 1, 1}));     // outside: nothing
    GraphicsContext::restoreGraphicsState();
    const uint8_t* d = target->bitmapData();
    auto at = [&](int x, int row) { return d + row * target->bytesPerRow() + 4 * x; };
    EXPECT_EQ(at(0, 1)[0], 255);  // bottom row, first pixel
    EXPECT_EQ(at(0, 1)[3], 255);
    EXPECT_EQ(at(0, 0)[3], 0);    // top row untouched
    EXPECT_EQ(at(1, 1)[3], 0);
    EXPECT_EQ(at(2, 0)[0], 255);
    EXPECT_EQ(at(2, 1)[0], 255);
}

TEST(BitmapRedraw, DrawingNeedsACurrentRgbaContext) {
    BitmapImageRep::Layout l{1, 1, 8, 3, false, false, NSCalibratedRGBColorSpace, 3, 24};
    const BitmapImageRep one(l, {1, 2, 3});
    GraphicsContext::setCurrentContext(nullptr);
    EXPECT_FALSE(one.drawInRect({0, 0, 1, 1}));

    // Only interleaved 8-bit RGBA can be drawn into.
    BitmapImageRep notRgba(l, {1, 2, 3});
    EXPECT_EQ(GraphicsContext::graphicsContextWithBitmapImageRep(notRgba), nullptr);

    // Save and restore bring the previous context back.
    auto target = rgbaTarget(1, 1);
    auto context = GraphicsContext::graphicsContextWithBitmapImageRep(*target);
    GraphicsContext::setCurrentContext(context);
    GraphicsContext::saveGraphicsState();
    GraphicsContext::setCurrentContext(nullptr);
    GraphicsContext::restoreGraphicsState();
    EXPECT_EQ(GraphicsContext::currentContext(), context);
    GraphicsContext::setCurrentContext(nullptr);

    // A bitmap whose bytes do not cover its layout is not read.
    auto target2 = rgbaTarget(4, 4);
    GraphicsContext::setCurrentContext(GraphicsContext::graphicsContextWithBitmapImageRep(*target2));
    BitmapImageRep::Layout big{4, 4, 8, 3, false, false, NSCalibratedRGBColorSpace, 12, 24};
    EXPECT_FALSE(BitmapImageRep(big, std::vector<uint8_t>(10, 0)).drawInRect({0, 0, 4, 4}));
    GraphicsContext::setCurrentContext(nullptr);
}
