// The logo pixel table, built from bitmaps laid out by hand.
#include "platform/image/Image.h"
#include "saver/Zorvan.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>
#include <vector>

using namespace zorvan;
using test::sameColour;

namespace {

constexpr uint8_t POISON = 0xEE;

struct Rgb {
    uint8_t r, g, b;
};

// An interleaved 8-bit bitmap of `pixels` (rows top first), `step` bytes a pixel and
// `stride` bytes a row (0: packed). Row padding and bytes past the third of a pixel are
// poison; the buffer ends right after the last pixel.
BitmapImageRep bitmapOf(int w, int h, const std::vector<Rgb>& pixels, int step, int stride = 0,
                        uint8_t fourth = 0) {
    if (stride == 0) stride = w * step;
    BitmapImageRep::Layout l;
    l.pixelsWide = w;
    l.pixelsHigh = h;
    l.bitsPerSample = 8;
    l.samplesPerPixel = step;
    l.hasAlpha = step == 4;
    l.isPlanar = false;
    l.colorSpaceName = NSCalibratedRGBColorSpace;
    l.bytesPerRow = stride;
    l.bitsPerPixel = step * 8;
    std::vector<uint8_t> bytes(static_cast<size_t>(stride) * (h - 1) + static_cast<size_t>(w) * step, POISON);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = bytes.data() + static_cast<size_t>(y) * stride + static_cast<size_t>(x) * step;
            const Rgb c = pixels[static_cast<size_t>(y) * w + x];
            p[0] = c.r;
            p[1] = c.g;
            p[2] = c.b;
            if (step >= 4) p[3] = fourth;
        }
    return BitmapImageRep(l, std::move(bytes));
}

// A view holding nothing but what the table build reads.
struct TableView {
    Zorvan view{OpenGLViewFactory{}};
    TableView(int w, int h, float contrast) {
        test::state(view).picture.logoWidth = w;
        test::state(view).picture.logoHeight = h;
        test::state(view).settings.minimumContrast = contrast;
    }
    // The table for `rep`, owned by the caller through the returned pointer.
    std::unique_ptr<Colour, decltype(&std::free)> build(const BitmapImageRep& rep) {
        return {view.getPixelColoursFromBitmapRep(rep), &std::free};
    }
};

Colour colourOf(Rgb c) {
    return {static_cast<float>(c.r) / 255.0f, static_cast<float>(c.g) / 255.0f,
            static_cast<float>(c.b) / 255.0f};
}

}  // namespace

TEST(PixelTable, OneColourHasNoPictureAndEveryEntryIsTheBackground) {
    const std::vector<Rgb> pixels(6 * 4, Rgb{30, 60, 90});
    TableView t(6, 4, 0.0f);
    test::state(t.view).picture.numNonBGPixels = 99;
    auto table = t.build(bitmapOf(6, 4, pixels, 3));
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(test::state(t.view).picture.numNonBGPixels, 0);
    for (int k = 0; k < 24; ++k) EXPECT_TRUE(sameColour(table.get()[k], colourOf({30, 60, 90}))) << k;
}

TEST(PixelTable, ContrastZeroCountsEveryPixelThatDiffersAtAll) {
    std::vector<Rgb> pixels(5 * 3, Rgb{100, 100, 100});
    pixels[4] = {101, 100, 100};  // one step in red
    pixels[7] = {100, 100, 99};   // one step in blue
    TableView t(5, 3, 0.0f);
    auto table = t.build(bitmapOf(5, 3, pixels, 3));
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(test::state(t.view).picture.numNonBGPixels, 2);
    EXPECT_TRUE(sameColour(table.get()[4], colourOf({101, 100, 100})));
    EXPECT_TRUE(sameColour(table.get()[7], colourOf({100, 100, 99})));

    // Everything but the first pixel in another colour: all counted, colours kept.
    std::vector<Rgb> most(4 * 4, Rgb{0, 0, 1});
    most[0] = {0, 0, 0};
    TableView all(4, 4, 0.0f);
    auto table2 = all.build(bitmapOf(4, 4, most, 4));
    ASSERT_NE(table2, nullptr);
    EXPECT_EQ(test::state(all.view).picture.numNonBGPixels, 15);
    for (int k = 1; k < 16; ++k) EXPECT_TRUE(sameColour(table2.get()[k], colourOf({0, 0, 1})));
}

TEST(PixelTable, ContrastHalfSeparatesGreysAndCountsPrimaries) {
    // Row 0: black (background), grey 104, grey 105, red; row 1: green, blue, white, black.
    const std::vector<Rgb> pixels = {{0, 0, 0},     {104, 104, 104}, {105, 105, 105}, {255, 0, 0},
                                     {0, 255, 0},   {0, 0, 255},     {255, 255, 255}, {0, 0, 0}};
    TableView t(4, 2, 0.5f);
    auto table = t.build(bitmapOf(4, 2, pixels, 3));
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(test::state(t.view).picture.numNonBGPixels, 5);
    const Colour* e = table.get();
    EXPECT_TRUE(sameColour(e[1], colourOf({0, 0, 0}))) << "grey 104 is background (d ~ 0.4990)";
    EXPECT_TRUE(sameColour(e[2], colourOf({105, 105, 105}))) << "grey 105 is counted (d ~ 0.5087)";
    EXPECT_TRUE(sameColour(e[3], Colour{1.0f, 0.0f, 0.0f}));
    EXPECT_TRUE(sameColour(e[4], Colour{0.0f, 1.0f, 0.0f}));
    EXPECT_TRUE(sameColour(e[5], Colour{0.0f, 0.0f, 1.0f}));
    EXPECT_TRUE(sameColour(e[6], Colour{1.0f, 1.0f, 1.0f}));
    EXPECT_TRUE(sameColour(e[7], e[0]));
}

TEST(PixelTable, ADistanceEqualToTheThresholdIsBackground) {
    const Rgb first{10, 20, 30}, other{40, 20, 90};
    // The squared distance exactly as the build computes it: float, red and green first.
    const float dr = colourOf(other).r - colourOf(first).r;
    const float dg = colourOf(other).g - colourOf(first).g;
    const float db = colourOf(other).b - colourOf(first).b;
    const float d = dr * dr + dg * dg + db * db;
    const std::vector<Rgb> pixels = {first, other};

    TableView atThreshold(2, 1, d);
    auto t1 = atThreshold.build(bitmapOf(2, 1, pixels, 3));
    ASSERT_NE(t1, nullptr);
    EXPECT_EQ(test::state(atThreshold.view).picture.numNonBGPixels, 0);
    EXPECT_TRUE(sameColour(t1.get()[1], colourOf(first)));

    TableView below(2, 1, std::nextafter(d, 0.0f));
    auto t2 = below.build(bitmapOf(2, 1, pixels, 3));
    EXPECT_EQ(test::state(below.view).picture.numNonBGPixels, 1);
    EXPECT_TRUE(sameColour(t2.get()[1], colourOf(other)));
}

TEST(PixelTable, TwentyFourAndThirtyTwoBitPixelsGiveTheSameTable) {
    std::vector<Rgb> pixels;
    for (int i = 0; i < 7 * 5; ++i)
        pixels.push_back({uint8_t(i * 7), uint8_t(255 - i * 3), uint8_t(i % 2 ? 200 : 0)});
    TableView a(7, 5, 0.5f), b(7, 5, 0.5f), c(7, 5, 0.5f);
    auto t24 = a.build(bitmapOf(7, 5, pixels, 3));
    auto t32 = b.build(bitmapOf(7, 5, pixels, 4, 0, 0));
    auto t32a = c.build(bitmapOf(7, 5, pixels, 4, 0, 255));  // the fourth byte has no say
    ASSERT_TRUE(t24 && t32 && t32a);
    EXPECT_GT(test::state(a.view).picture.numNonBGPixels, 0);
    EXPECT_EQ(test::state(a.view).picture.numNonBGPixels, test::state(b.view).picture.numNonBGPixels);
    EXPECT_EQ(test::state(a.view).picture.numNonBGPixels, test::state(c.view).picture.numNonBGPixels);
    for (int k = 0; k < 35; ++k) {
        EXPECT_TRUE(sameColour(t24.get()[k], t32.get()[k])) << k;
        EXPECT_TRUE(sameColour(t24.get()[k], t32a.get()[k])) << k;
    }
}

TEST(PixelTable, RowsFollowTheStrideAndPaddingIsNeverRead) {
    // Rows padded to 16 bytes of poison after 3 pixels; the buffer ends at the last pixel,
    // so reading past a row's pixels shows up as poison here and as an overflow under ASan.
    std::vector<Rgb> pixels = {{0, 0, 0}, {9, 9, 9}, {0, 0, 0},   //
                               {0, 0, 0}, {0, 0, 0}, {200, 1, 2},  //
                               {5, 6, 7}, {0, 0, 0}, {0, 0, 0}};
    for (int step : {3, 4}) {
        TableView t(3, 3, 0.0f);
        auto table = t.build(bitmapOf(3, 3, pixels, step, 16));
        ASSERT_NE(table, nullptr);
        EXPECT_EQ(test::state(t.view).picture.numNonBGPixels, 3);
        for (int k = 0; k < 9; ++k) {
            EXPECT_TRUE(sameColour(table.get()[k], colourOf(pixels[k]))) << "step " << step << " entry " << k;
            EXPECT_NE(table.get()[k].r, POISON / 255.0f);
        }
    }
}

TEST(PixelTable, LayoutsItCannotReadAreRefusedWithACountOfZero) {
    const std::vector<Rgb> pixels(4, Rgb{255, 0, 0});
    auto base = [&] { return bitmapOf(2, 2, pixels, 3).layout(); };
    std::vector<BitmapImageRep::Layout> refused;
    {
        auto l = base();  // 16-bit samples
        l.bitsPerSample = 16;
        l.bitsPerPixel = 48;
        l.bytesPerRow = 12;
        refused.push_back(l);
    }
    {
        auto l = base();  // grey and alpha
        l.samplesPerPixel = 2;
        l.bitsPerPixel = 16;
        l.bytesPerRow = 4;
        refused.push_back(l);
    }
    {
        auto l = base();  // too few bits a pixel
        l.bitsPerPixel = 16;
        refused.push_back(l);
    }
    {
        auto l = base();  // planar
        l.isPlanar = true;
        l.bitsPerPixel = 8;
        l.bytesPerRow = 2;
        refused.push_back(l);
    }
    {
        auto l = base();  // pixels not in whole bytes
        l.bitsPerPixel = 25;
        refused.push_back(l);
    }
    for (const auto& l : refused) {
        TableView t(2, 2, 0.0f);
        test::state(t.view).picture.numNonBGPixels = 42;
        auto table = t.build(BitmapImageRep(l, std::vector<uint8_t>(64, 0xFF)));
        EXPECT_EQ(table, nullptr) << l.bitsPerSample << "/" << l.samplesPerPixel << "/" << l.bitsPerPixel;
        EXPECT_EQ(test::state(t.view).picture.numNonBGPixels, 0);
    }
}

TEST(PixelTable, WidePixelsOfMoreSamplesAreReadByTheirFirstThreeBytes) {
    // 8-bit samples, 5 and 6 of them: the step is the pixel's size.
    for (int step : {5, 6}) {
        BitmapImageRep::Layout l;
        l.pixelsWide = 3;
        l.pixelsHigh = 1;
        l.samplesPerPixel = step;
        l.bitsPerPixel = step * 8;
        l.bytesPerRow = 3 * step;
        std::vector<uint8_t> bytes(static_cast<size_t>(3 * step), POISON);
        const uint8_t rgb[3][3] = {{0, 0, 0}, {10, 20, 30}, {0, 0, 0}};
        for (int x = 0; x < 3; ++x)
            for (int s = 0; s < 3; ++s) bytes[static_cast<size_t>(x * step + s)] = rgb[x][s];
        TableView t(3, 1, 0.0f);
        auto table = t.build(BitmapImageRep(l, bytes));
        ASSERT_NE(table, nullptr);
        EXPECT_EQ(test::state(t.view).picture.numNonBGPixels, 1);
        EXPECT_TRUE(sameColour(table.get()[1], colourOf({10, 20, 30})));
        EXPECT_TRUE(sameColour(table.get()[2], table.get()[0]));
    }
}

TEST(PixelTable, SizesItCannotHoldGiveNoTable) {
    const std::vector<Rgb> pixels(4, Rgb{255, 0, 0});
    const BitmapImageRep rep = bitmapOf(2, 2, pixels, 3);
    struct Case {
        int w, h;
    };
    // Empty sizes, and sizes beyond the bitmap the table would be read from.
    for (Case c : {Case{0, 2}, Case{2, 0}, Case{0, 0}, Case{-1, 2}, Case{3, 2}, Case{2, 3}}) {
        TableView t(c.w, c.h, 0.0f);
        test::state(t.view).picture.numNonBGPixels = 5;
        EXPECT_EQ(t.build(rep), nullptr) << c.w << "x" << c.h;
        EXPECT_EQ(test::state(t.view).picture.numNonBGPixels, 0);
    }

    // A bitmap that claims a size whose table would overflow the size arithmetic or
    // not fit in memory: refused before anything is allocated or read.
    BitmapImageRep::Layout huge;
    huge.pixelsWide = INT_MAX / 3;
    huge.pixelsHigh = INT_MAX;
    huge.samplesPerPixel = 3;
    huge.bitsPerPixel = 24;
    huge.bytesPerRow = (INT_MAX / 3) * 3;
    const BitmapImageRep claim(huge, std::vector<uint8_t>(16, 0));
    for (Case c : {Case{INT_MAX / 3, INT_MAX}, Case{50000, 50000}}) {
        TableView t(c.w, c.h, 0.0f);
        test::state(t.view).picture.numNonBGPixels = 5;
        EXPECT_EQ(t.build(claim), nullptr) << c.w << "x" << c.h;
        EXPECT_EQ(test::state(t.view).picture.numNonBGPixels, 0);
    }
}

TEST(PixelTable, ANegativeOrUndefinedContrastActsAsZero) {
    // Otherwise pixels equal to the background would be counted, and the home-pixel
    // search, which needs a counted pixel to differ, could never end.
    const std::vector<Rgb> pixels = {{1, 2, 3}, {1, 2, 3}, {1, 2, 4}, {1, 2, 3}};
    for (float contrast : {-1.0f, std::numeric_limits<float>::quiet_NaN()}) {
        TableView t(2, 2, contrast);
        auto table = t.build(bitmapOf(2, 2, pixels, 3));
        ASSERT_NE(table, nullptr);
        EXPECT_EQ(test::state(t.view).picture.numNonBGPixels, 1);
    }
}
