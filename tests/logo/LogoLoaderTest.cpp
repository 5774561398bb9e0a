// Loading logo pictures from real files: layouts, formats, replacement, failure, and
// files that must not be decoded.
#include "PictureFiles.h"

#include "platform/bundle/Bundle.h"
#include "platform/image/Image.h"
#include "saver/Zorvan.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <string>

using namespace zorvan;
using namespace zorvan::test;

namespace {

// A view with only what loading reads and writes.
struct LoaderView {
    Zorvan view{OpenGLViewFactory{}};
    explicit LoaderView(float contrast = 0.0f) { test::state(view).settings.minimumContrast = contrast; }
    void load(const std::optional<std::string>& path) {
        test::state(view).settings.logoFile = path;
        view.loadLogo();
    }
    Colour entry(int x, int y) const { return test::state(view).picture.logo[x + y * test::state(view).picture.logoWidth]; }
};

// 12 x 8 on black with four coloured pixels (exact in any lossless format).
Picture colourPattern() {
    Picture p = solidPicture(12, 8, {0, 0, 0, 255});
    p.at(3, 2) = {255, 0, 0, 255};
    p.at(5, 4) = {10, 200, 30, 255};
    p.at(11, 7) = {255, 255, 255, 255};
    p.at(0, 7) = {104, 60, 250, 255};
    return p;
}

// 10 x 6 greys on black.
Picture greyPattern() {
    Picture p = solidPicture(10, 6, {0, 0, 0, 255});
    p.at(2, 1) = {200, 200, 200, 255};
    p.at(4, 3) = {255, 255, 255, 255};
    p.at(7, 5) = {60, 60, 60, 255};
    return p;
}

// The same with a transparent corner, so that the file keeps its alpha; transparent
// black reads as black.
Picture withTransparentCorner(Picture p) {
    p.at(p.width - 1, 0) = {0, 0, 0, 0};
    return p;
}

int nonBlack(const Picture& p) {
    int n = 0;
    for (const Rgba& c : p.pixels) n += (c.r | c.g | c.b) != 0;
    return n;
}

// Every entry of the view's table is the picture's pixel, exactly.
void expectTableIs(const LoaderView& v, const Picture& p) {
    ASSERT_NE(test::state(v.view).picture.logo, nullptr);
    ASSERT_EQ(test::state(v.view).picture.logoWidth, p.width);
    ASSERT_EQ(test::state(v.view).picture.logoHeight, p.height);
    EXPECT_EQ(test::state(v.view).picture.numNonBGPixels, nonBlack(p));
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            const Colour e = v.entry(x, y);
            const Rgba c = p.at(x, y);
            EXPECT_EQ(e.r, c.r / 255.0f) << x << "," << y;
            EXPECT_EQ(e.g, c.g / 255.0f) << x << "," << y;
            EXPECT_EQ(e.b, c.b / 255.0f) << x << "," << y;
        }
}

void expectNoPicture(const LoaderView& v) {
    EXPECT_EQ(test::state(v.view).picture.logoImageSrc, nullptr);
    EXPECT_EQ(test::state(v.view).picture.logo, nullptr);
    EXPECT_EQ(test::state(v.view).picture.numNonBGPixels, 0);
    EXPECT_EQ(test::state(v.view).picture.logoWidth, 60);
    EXPECT_EQ(test::state(v.view).picture.logoHeight, 100);
}

std::string defaultPicturePath() {
    if (auto path = Bundle::bundleForClass().pathForImageResource("zorvan.pict")) return *path;
    return ZORVAN_SOURCE_DIR "/resources/zorvan.pict";
}

}  // namespace

TEST(LogoLoading, NoFileGivesNoTableAndTheBoxOf60By100) {
    TempDir dir;
    for (const std::optional<std::string>& path :
         {std::optional<std::string>{}, std::optional<std::string>{""},
          std::optional<std::string>{dir.file("missing.png")}}) {
        LoaderView v;
        v.load(path);
        expectNoPicture(v);
    }
}

TEST(LogoLoading, EightBitRgbAndRgbaAreUsedAsDecoded) {
    TempDir dir;
    const Picture p = colourPattern();
    for (const char* coder : {"PNG24", "PNG32"}) {
        const std::string path = dir.file(std::string("p.") + coder);
        writePicture(p, path, {.coder = coder, .alpha = std::string(coder) == "PNG32"});

        auto bitmap = Image::initWithContentsOfFile(path)->bitmapRepresentation();
        ASSERT_NE(bitmap, nullptr);
        EXPECT_EQ(bitmap->bitsPerSample(), 8);
        EXPECT_EQ(bitmap->samplesPerPixel(), std::string(coder) == "PNG32" ? 4 : 3);

        LoaderView v;
        const unsigned long drawnBefore = BitmapImageRep::drawCount();
        v.load(path);
        EXPECT_EQ(BitmapImageRep::drawCount(), drawnBefore) << coder << " was redrawn";
        EXPECT_NE(test::state(v.view).picture.logoImageSrc, nullptr);
        expectTableIs(v, p);
    }
}

TEST(LogoLoading, OtherLayoutsAreRedrawnAndKeepTheirColours) {
    TempDir dir;
    struct Case {
        const char* name;
        Picture picture;
        StoreAs as;
        const char* colourSpace;
        int bitsPerSample, samplesPerPixel;
        bool planar;
    };
    const Case cases[] = {
        {"grey", greyPattern(), {.coder = "PNG", .grey = true}, NSCalibratedWhiteColorSpace, 8, 1, false},
        {"grey+alpha", withTransparentCorner(greyPattern()), {.coder = "PNG", .grey = true, .alpha = true},
         NSCalibratedWhiteColorSpace, 8, 2, false},
        {"grey 16", greyPattern(), {.coder = "PNG", .grey = true, .depth = 16},
         NSCalibratedWhiteColorSpace, 16, 1, false},
        {"rgb 16", colourPattern(), {.coder = "PNG48", .depth = 16}, NSCalibratedRGBColorSpace, 16, 3, false},
        {"rgba 16", withTransparentCorner(colourPattern()), {.coder = "PNG64", .alpha = true, .depth = 16},
         NSCalibratedRGBColorSpace, 16, 4, false},
        {"png palette", colourPattern(), {.coder = "PNG8"}, IndexedColorSpace, 8, 1, false},
        {"gif palette", colourPattern(), {.coder = "GIF"}, IndexedColorSpace, 8, 1, false},
        {"planar tiff", colourPattern(), {.coder = "TIFF", .planar = true}, NSCalibratedRGBColorSpace, 8, 3, true},
        {"planar tiff 16", colourPattern(), {.coder = "TIFF", .planar = true, .depth = 16},
         NSCalibratedRGBColorSpace, 16, 3, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.file(std::string("p-") + std::to_string(&c - cases));
        writePicture(c.picture, path, c.as);

        auto image = Image::initWithContentsOfFile(path);
        ASSERT_NE(image, nullptr);
        auto bitmap = image->bitmapRepresentation();
        ASSERT_NE(bitmap, nullptr);
        EXPECT_EQ(bitmap->colorSpaceName(), c.colourSpace);
        EXPECT_EQ(bitmap->bitsPerSample(), c.bitsPerSample);
        EXPECT_EQ(bitmap->samplesPerPixel(), c.samplesPerPixel);
        EXPECT_EQ(bitmap->isPlanar(), c.planar);

        LoaderView v;
        const unsigned long drawnBefore = BitmapImageRep::drawCount();
        v.load(path);
        EXPECT_EQ(BitmapImageRep::drawCount(), drawnBefore + 1);
        expectTableIs(v, c.picture);
    }
}

TEST(LogoLoading, TransparentPixelsReadAsBlackWhetherRedrawnOrNot) {
    // Colours are premultiplied by alpha: what shows over black is what counts. A
    // transparent white background is black, in RGBA as decoded and in grey redrawn.
    TempDir dir;
    Picture p = solidPicture(4, 2, {255, 255, 255, 0});
    p.at(1, 0) = {255, 0, 0, 255};
    p.at(2, 1) = {200, 100, 50, 128};
    writePicture(p, dir.file("rgba.png"), {.coder = "PNG32", .alpha = true});
    LoaderView v;
    v.load(dir.file("rgba.png"));
    ASSERT_NE(test::state(v.view).picture.logo, nullptr);
    EXPECT_EQ(test::state(v.view).picture.numNonBGPixels, 2);
    EXPECT_EQ(v.entry(0, 0).r, 0.0f);
    EXPECT_EQ(v.entry(1, 0).r, 1.0f);
    EXPECT_NEAR(v.entry(2, 1).r, 100.0f / 255.0f, 1.01f / 255.0f);
    EXPECT_NEAR(v.entry(2, 1).g, 50.0f / 255.0f, 1.01f / 255.0f);

    Picture g = solidPicture(3, 1, {255, 255, 255, 0});
    g.at(2, 0) = {180, 180, 180, 255};
    writePicture(g, dir.file("ga.png"), {.coder = "PNG", .grey = true, .alpha = true});
    LoaderView w;
    w.load(dir.file("ga.png"));
    ASSERT_NE(test::state(w.view).picture.logo, nullptr);
    EXPECT_EQ(test::state(w.view).picture.numNonBGPixels, 1);
    EXPECT_EQ(w.entry(0, 0).g, 0.0f);
    EXPECT_EQ(w.entry(2, 0).g, 180.0f / 255.0f);
}

TEST(LogoLoading, EveryCommonFormatLoads) {
    TempDir dir;
    const Picture p = colourPattern();
    for (const char* coder : {"PNG24", "GIF", "TIFF", "PICT", "BMP", "PPM", "TGA"}) {
        SCOPED_TRACE(coder);
        const std::string path = dir.file(std::string("logo.") + (std::string(coder) == "TGA" ? "tga" : "pic"));
        writePicture(p, path, {.coder = coder});
        LoaderView v;
        v.load(path);
        EXPECT_NE(test::state(v.view).picture.logoImageSrc, nullptr);
        expectTableIs(v, p);
    }

    // Lossy formats: the size, and a block of colour that stays near its colour.
    Picture block = solidPicture(32, 16, {0, 0, 0, 255});
    for (int y = 4; y < 12; ++y)
        for (int x = 8; x < 24; ++x) block.at(x, y) = {250, 20, 20, 255};
    for (const char* coder : {"JPEG", "WEBP"}) {
        SCOPED_TRACE(coder);
        const std::string path = dir.file(std::string("block.") + coder);
        writePicture(block, path, {.coder = coder});
        LoaderView v(0.5f);
        v.load(path);
        ASSERT_NE(test::state(v.view).picture.logo, nullptr);
        EXPECT_EQ(test::state(v.view).picture.logoWidth, 32);
        EXPECT_EQ(test::state(v.view).picture.logoHeight, 16);
        EXPECT_NEAR(test::state(v.view).picture.numNonBGPixels, 16 * 8, 16);
        EXPECT_GT(v.entry(16, 8).r, 0.85f);
        EXPECT_LT(v.entry(16, 8).g, 0.2f);
        EXPECT_EQ(v.entry(0, 0).r, 0.0f);
    }
}

TEST(LogoLoading, TheSizeIsInPixelsNotPoints) {
    TempDir dir;
    const Picture p = colourPattern();
    writePicture(p, dir.file("dpi.png"), {.coder = "PNG24", .dpi = 144.0});
    auto image = Image::initWithContentsOfFile(dir.file("dpi.png"));
    ASSERT_NE(image, nullptr);
    EXPECT_NEAR(image->size().width, 6.0, 0.01);
    EXPECT_NEAR(image->size().height, 4.0, 0.01);

    LoaderView v;
    v.load(dir.file("dpi.png"));
    EXPECT_EQ(test::state(v.view).picture.logoWidth, 12);
    EXPECT_EQ(test::state(v.view).picture.logoHeight, 8);
    expectTableIs(v, p);
}

TEST(LogoLoading, TheResolutionCountsInTheUnitsTheFileGives) {
    // TIFF and JPEG give pixels an inch, BMP pixels a metre; without one, a point is a pixel.
    TempDir dir;
    const Picture p = colourPattern();
    for (const char* coder : {"TIFF", "JPEG", "BMP"}) {
        SCOPED_TRACE(coder);
        writePicture(p, dir.file(coder), {.coder = coder, .dpi = 144.0});
        auto image = Image::initWithContentsOfFile(dir.file(coder));
        ASSERT_NE(image, nullptr);
        EXPECT_NEAR(image->size().width, 6.0, 0.01);
        EXPECT_NEAR(image->size().height, 4.0, 0.01);
    }
    writePicture(p, dir.file("plain.png"), {.coder = "PNG24"});
    auto plain = Image::initWithContentsOfFile(dir.file("plain.png"));
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(plain->size().width, 12.0);
    EXPECT_EQ(plain->size().height, 8.0);
}

TEST(LogoLoading, APaletteKeepsTheFilesIndexesAndEntries) {
    // Entries 1 and 3 are the same red and entry 2 is transparent: each pixel keeps the
    // index the file gives it, and the transparent one reads as black.
    TempDir dir;
    const std::vector<Rgba> colours = {{0, 0, 0, 255}, {200, 10, 10, 255}, {10, 200, 10, 255}, {200, 10, 10, 255}};
    const int w = 13, h = 9;
    std::vector<uint8_t> indexes;
    Picture expected = solidPicture(w, h, {0, 0, 0, 255});
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint8_t i = uint8_t((x * 7 + y * 3) % 4);
            indexes.push_back(i);
            if (i != 2) expected.at(x, y) = colours[i];
        }
    writeFile(dir.file("palette.gif"), gifBytes(w, h, colours, indexes, 2));

    auto image = Image::initWithContentsOfFile(dir.file("palette.gif"));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->format(), "GIF");
    auto bitmap = image->bitmapRepresentation();
    ASSERT_NE(bitmap, nullptr);
    ASSERT_EQ(bitmap->colorSpaceName(), IndexedColorSpace);
    ASSERT_EQ(bitmap->byteCount(), indexes.size());
    EXPECT_TRUE(std::equal(indexes.begin(), indexes.end(), bitmap->bitmapData()));
    const auto& palette = bitmap->palette();
    ASSERT_EQ(palette.size(), 256u);
    for (int i : {1, 3}) {
        EXPECT_EQ(palette[i].r, 200);
        EXPECT_EQ(palette[i].g, 10);
        EXPECT_EQ(palette[i].a, 255);
    }
    EXPECT_EQ(palette[2].g, 0);  // premultiplied
    EXPECT_EQ(palette[2].a, 0);

    LoaderView v;
    v.load(dir.file("palette.gif"));
    expectTableIs(v, expected);
}

TEST(LogoLoading, ALaterLoadReplacesPictureTableAndCount) {
    TempDir dir;
    const Picture first = colourPattern();
    Picture second = solidPicture(20, 10, {9, 9, 9, 255});
    second.at(19, 9) = {0, 0, 200, 255};
    writePicture(first, dir.file("a.png"), {.coder = "PNG24"});
    writePicture(second, dir.file("b.png"), {.coder = "PNG24"});

    LoaderView v;
    v.load(dir.file("a.png"));
    const auto firstImage = test::state(v.view).picture.logoImageSrc;
    ASSERT_NE(firstImage, nullptr);
    EXPECT_EQ(test::state(v.view).picture.numNonBGPixels, 4);

    v.load(dir.file("b.png"));
    EXPECT_NE(test::state(v.view).picture.logoImageSrc, firstImage);
    EXPECT_EQ(test::state(v.view).picture.logoWidth, 20);
    EXPECT_EQ(test::state(v.view).picture.logoHeight, 10);
    EXPECT_EQ(test::state(v.view).picture.numNonBGPixels, 1);
    EXPECT_EQ(v.entry(19, 9).b, 200.0f / 255.0f);
    EXPECT_EQ(v.entry(0, 0).r, 9.0f / 255.0f);
}

TEST(LogoLoading, AFailedLoadAfterASuccessLeavesNoStaleTable) {
    TempDir dir;
    writePicture(colourPattern(), dir.file("a.png"), {.coder = "PNG24"});
    writeFile(dir.file("junk.png"), "not a pic");
    for (const std::string& bad : {dir.file("gone.png"), dir.file("junk.png")}) {
        LoaderView v;
        v.load(dir.file("a.png"));
        ASSERT_NE(test::state(v.view).picture.logo, nullptr);
        v.load(bad);
        expectNoPicture(v);
        v.load(dir.file("a.png"));
        expectTableIs(v, colourPattern());
    }
}

TEST(LogoLoading, HostileFilesAreRefusedAndLoadingGoesOn) {
    TempDir dir;
    Picture noisy = solidPicture(64, 64, {0, 0, 0, 255});
    for (int i = 0; i < 64 * 64; ++i)
        noisy.pixels[static_cast<size_t>(i)] = {uint8_t(i * 37), uint8_t(i * 11), uint8_t(i * 5), 255};
    writePicture(noisy, dir.file("noisy.png"), {.coder = "PNG24"});
    writePicture(noisy, dir.file("noisy.jpg"), {.coder = "JPEG"});
    writePicture(noisy, dir.file("noisy.gif"), {.coder = "GIF"});
    writePicture(colourPattern(), dir.file("good.png"), {.coder = "PNG24"});

    auto truncated = [&](const std::string& from, const std::string& to) {
        const std::string bytes = readFile(dir.file(from));
        writeFile(dir.file(to), bytes.substr(0, bytes.size() / 2));
    };
    truncated("noisy.png", "cut.png");
    truncated("noisy.jpg", "cut.jpg");
    truncated("noisy.gif", "cut.gif");
    // A header that claims 100000 x 100000 over a few bytes of data.
    writeFile(dir.file("liar.png"), lyingPngBytes(100000, 100000));
    // A valid picture of 12000 x 12000 pixels in some 60 KB: beyond the decoder's area.
    writeFile(dir.file("bomb.png"), blackPngBytes(12000, 12000));
    // Not pictures, whatever their names say.
    writeFile(dir.file("text.png"), "hello\n");
    writeFile(dir.file("empty.png"), "");
    std::string fakePng = "\x89PNG\r\n\x1a\n";
    fakePng.resize(200, 0x42);
    writeFile(dir.file("fake.png"), fakePng);
    // Formats that draw from other files or run other programs are never decoded.
    const std::string target = dir.file("good.png");
    writeFile(dir.file("draw.png"), "push graphic-context\nviewbox 0 0 12 8\nimage over 0,0 12,8 '" + target +
                                        "'\npop graphic-context\n");
    writeFile(dir.file("draw.mvg"), readFile(dir.file("draw.png")));
    writeFile(dir.file("vector.svg"), "<svg xmlns='http://www.w3.org/2000/svg' width='12' height='8'><image href='" +
                                          target + "' width='12' height='8'/></svg>");
    writeFile(dir.file("page.ps"), "%!PS\nnewpath 0 0 moveto 10 10 lineto stroke showpage\n");
    writeFile(dir.file("script.msl"), "<?xml version='1.0'?><image><read filename='" + target + "'/></image>");
    ASSERT_EQ(::mkfifo(dir.file("pipe.png").c_str(), 0600), 0);

    for (const char* name : {"cut.png", "cut.jpg", "cut.gif", "liar.png", "bomb.png", "text.png",
                             "empty.png", "fake.png", "draw.png", "draw.mvg", "vector.svg", "page.ps",
                             "script.msl", "pipe.png", ""}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(Image::initWithContentsOfFile(dir.file(name)), nullptr);
        LoaderView v;
        v.load(dir.file("good.png"));
        v.load(dir.file(name));
        expectNoPicture(v);
        v.load(dir.file("good.png"));
        expectTableIs(v, colourPattern());
    }
}

TEST(LogoLoading, PathsAreNamesNotDecoderInstructions) {
    // Magick would read "[...]" and "FORMAT:" in a name as instructions; here they are
    // just part of the file's name.
    TempDir dir;
    for (const char* name : {"logo[1].png", "PNG:logo.png", "logo%d.png", "@list.png"}) {
        SCOPED_TRACE(name);
        writePicture(colourPattern(), dir.file("plain.png"), {.coder = "PNG24"});
        std::filesystem::rename(dir.file("plain.png"), dir.file(name));
        LoaderView v;
        v.load(dir.file(name));
        expectTableIs(v, colourPattern());
    }
}

TEST(LogoLoading, TheDefaultPictureLoads) {
    const std::string path = defaultPicturePath();
    // Its pixels, read independently of the loader from the source it was made from.
    const Shot source = readShot(ZORVAN_SOURCE_DIR "/resources/zorvan-logo.png");
    ASSERT_EQ(source.width, 400u);
    ASSERT_EQ(source.height, 200u);
    const long lit = litPixels(source);

    LoaderView v;
    v.load(path);
    ASSERT_NE(test::state(v.view).picture.logo, nullptr);
    EXPECT_EQ(test::state(v.view).picture.logoWidth, 400);
    EXPECT_EQ(test::state(v.view).picture.logoHeight, 200);
    EXPECT_EQ(v.entry(0, 0).r, 0.0f);
    EXPECT_EQ(v.entry(0, 0).g, 0.0f);
    EXPECT_EQ(v.entry(0, 0).b, 0.0f);
    EXPECT_EQ(test::state(v.view).picture.numNonBGPixels, lit);
    EXPECT_GT(lit, 5000);
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 400; ++x) {
            const uint8_t* s = source.at(size_t(x), size_t(y));
            ASSERT_EQ(v.entry(x, y).r, s[0] / 255.0f) << x << "," << y;
            ASSERT_EQ(v.entry(x, y).b, s[2] / 255.0f) << x << "," << y;
        }

    // With the contrast check on, the dark end of the gradients stays in.
    LoaderView checked(0.5f);
    checked.load(path);
    EXPECT_GT(test::state(checked.view).picture.numNonBGPixels, lit * 9 / 10);
}

TEST(PictureServices, TheFileTypesAreTheRasterFormatsThatAreRead) {
    const auto types = Image::imageFileTypes();
    for (const char* t : {"png", "jpg", "jpeg", "gif", "tif", "tiff", "bmp", "pict", "pct"})
        EXPECT_NE(std::find(types.begin(), types.end(), t), types.end()) << t;
    for (const char* t : {"svg", "pdf", "ps", "eps", "mvg", "msl", "txt", "html", "xcf"})
        EXPECT_EQ(std::find(types.begin(), types.end(), t), types.end()) << t;
}

// At start a stored picture is taken only when seeding can find its pixels at a bounded
// cost: at least 50 that are not background, and at least one in 4096 entries. Anything
// sparser is replaced by the module's own picture, with one warning; what is taken is
// seeded exactly as before, every home on one of its pixels.
TEST(LogoLoading, AtStartASparsePictureGivesWayToTheModulesOwn) {
    TempDir dir;
    const StoreFile store;
    struct Case {
        int width, height, lit;
        bool taken;
    };
    // 400 x 512 = 50 x 4096 entries: the sparsest picture that is still taken.
    for (const Case c : {Case{400, 512, 50, true}, Case{400, 513, 50, false}, Case{20, 20, 49, false},
                         Case{1000, 1000, 1, false}}) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + ", " + std::to_string(c.lit));
        Picture p = solidPicture(c.width, c.height, {0, 0, 0, 255});
        for (int i = 0; i < c.lit; ++i)  // packed together, clear of the background's corner
            p.at(1 + i % (c.width - 1), 1 + i / (c.width - 1)) = {255, 255, 255, 255};
        ASSERT_EQ(nonBlack(p), c.lit);
        const std::string path = dir.file("logo.png");
        writePicture(p, path, {});
        store.reload("[Zorvan]\nnumMotes=300\nlogoMode=2\nlogoFile=" + path + "\n");

        testing::internal::CaptureStderr();
        auto view = makeOffscreenView(800, 600);
        const std::string err = testing::internal::GetCapturedStderr();
        ASSERT_TRUE(view);
        if (c.taken) {
            EXPECT_EQ(err, "");
            EXPECT_EQ(test::state(view).settings.logoMode, 2);
            EXPECT_EQ(test::state(view).settings.logoFile, path);
            EXPECT_EQ(test::state(view).picture.numNonBGPixels, c.lit);
            view->setFrameSize(Size{800, 600});
            for (int i = 0; i < view->liveMotes(); ++i) {
                const Vec2 home = test::state(view).swarm.motes[i].home;
                const int x = int(home.x) - (800 - c.width) / 2, y = (600 + c.height) / 2 - int(home.y);
                ASSERT_TRUE(x >= 0 && x < c.width && y >= 0 && y < c.height) << i;
                EXPECT_EQ(p.at(x, y).r, 255) << "mote " << i << " is not at home on a lit pixel";
            }
        } else {
            EXPECT_EQ(lines(err), 1) << err;
            EXPECT_NE(err.find("zorvan: warning: the logo picture " + path), std::string::npos) << err;
            EXPECT_EQ(test::state(view).settings.logoMode, 0);
            EXPECT_EQ(test::state(view).settings.logoFile, defaultPicturePath());
            EXPECT_TRUE(view->logoTableUsable());
        }
    }
}
