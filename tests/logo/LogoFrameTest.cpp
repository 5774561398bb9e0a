// The whole path from the default picture to a frame: after the motes have gathered,
// the lit pixels of the frame draw the logo.
#include "platform/bundle/Bundle.h"
#include "platform/image/Image.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

using namespace zorvan;

TEST(LogoFrame, GatheredMotesDrawTheDefaultLogo) {
    constexpr int W = 1280, H = 720;
    auto view = test::makeOffscreenView(W, H);
    ASSERT_NE(view, nullptr);
    OffscreenView* gl = test::offscreenOf(*view);
    ASSERT_NE(gl, nullptr);

    auto path = Bundle::bundleForClass().pathForImageResource("zorvan.pict");
    test::state(view).settings.logoFile = path ? *path : std::string(ZORVAN_SOURCE_DIR "/resources/zorvan.pict");
    test::state(view).settings.minimumContrast = 0.5f;
    test::state(view).settings.colourMode = 0;
    view->loadLogo();
    ASSERT_NE(test::state(view).picture.logo, nullptr);
    ASSERT_GT(test::state(view).picture.numNonBGPixels, 1000);
    const int lw = test::state(view).picture.logoWidth, lh = test::state(view).picture.logoHeight;

    srandom(1);
    view->setFrameSize({W, H});
    view->startAnimation();
    for (int frame = 0; frame < 300; ++frame) {
        test::state(view).mode = MODE_GATHER;
        test::state(view).frameCount = 0;
        view->animateOneFrame();
    }

    // Where the logo's picture pixels land on the display (rows from the bottom, as GL
    // counts them): column c at x = c + (W - lw) / 2, row r at y = (H + lh) / 2 - r.
    std::vector<uint8_t> home(static_cast<size_t>(W) * H, 0);
    const Colour bg0 = test::state(view).picture.logo[0];
    for (int r = 0; r < lh; ++r)
        for (int c = 0; c < lw; ++c) {
            const Colour e = test::state(view).picture.logo[c + r * lw];
            if (test::sameColour(e, bg0)) continue;
            const int x = c + (W - lw) / 2, y = (H + lh) / 2 - r;
            if (x >= 0 && x < W && y >= 0 && y < H) home[static_cast<size_t>(y) * W + x] = 1;
        }
    // Within `reach` pixels of a marked pixel of `mask`.
    auto near = [&](const std::vector<uint8_t>& mask, int x, int y, int reach) {
        for (int dy = -reach; dy <= reach; ++dy)
            for (int dx = -reach; dx <= reach; ++dx) {
                const int xx = x + dx, yy = y + dy;
                if (xx >= 0 && xx < W && yy >= 0 && yy < H && mask[static_cast<size_t>(yy) * W + xx]) return true;
            }
        return false;
    };

    // Lit: some channel above 40. The frame's rows go top down.
    const test::Shot frame = test::frameOf(*view);
    std::vector<uint8_t> lit(static_cast<size_t>(W) * H, 0);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) lit[static_cast<size_t>(y) * W + x] = test::isLit(frame.at(x, H - 1 - y), 40);
    const long litCount = test::litPixels(frame, 40);
    ASSERT_GT(litCount, 2000);

    long litNearHome = 0;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            if (lit[static_cast<size_t>(y) * W + x] && near(home, x, y, 5)) ++litNearHome;
    EXPECT_GT(litNearHome, litCount * 9 / 10) << "lit " << litCount << ", near the logo " << litNearHome;

    long homes = 0, covered = 0;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            if (home[static_cast<size_t>(y) * W + x]) {
                ++homes;
                covered += near(lit, x, y, 4);
            }
    EXPECT_GT(covered, homes * 6 / 10) << "logo pixels " << homes << ", covered " << covered;
}
