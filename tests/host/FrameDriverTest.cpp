// The frame driver over a backend whose screens come and go during the run, as Wayland
// outputs do (offscreen views, frames back to back), and the --fps text it draws.
#include "host/driver/FrameDriver.h"

#include "platform/gl/OffscreenView.h"
#include "saver/Zorvan.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

using namespace zorvan;
using namespace zorvan::host;

namespace {

// Offscreen screens that it numbers in the order it reports them, keeping their GL
// views as a window system does.
class ChangingScreens : public WindowSystem {
public:
    std::vector<ScreenSpec> screens() override { return {screen(0.0), screen(200.0)}; }
    bool preview() const override { return false; }
    bool paced() const override { return false; }
    EndReason poll() override { return EndReason::NotYet; }
    void wait(std::optional<Clock::time_point>) override {}
    int end(EndReason) override { return 0; }

    ScreenChanges takeScreenChanges() override { return std::exchange(changes, {}); }
    void forget(size_t i) override {
        forgotten.push_back(i);
        gl.erase(i);
    }
    bool visible(size_t i) const override {
        EXPECT_EQ(std::count(forgotten.begin(), forgotten.end(), i), 0) << "screen " << i << " is gone";
        return true;
    }

    ScreenSpec screen(double x, bool makesGL = true) {
        const size_t i = reported++;
        OpenGLViewFactory make = [this, i](Rect frame, const OpenGLPixelFormat& format) -> OpenGLView* {
            gl[i] = OffscreenView::create(frame, format);
            return gl[i].get();
        };
        if (!makesGL) make = [](Rect, const OpenGLPixelFormat&) -> OpenGLView* { return nullptr; };
        return {Rect{x, 0.0, 160.0, 120.0}, Size{160.0, 120.0}, make, 1.0, nullptr,
                " on screen at " + std::to_string(int(x))};
    }
    const OffscreenView& glOf(size_t i) const { return *gl.at(i); }

    ScreenChanges changes;
    std::vector<size_t> forgotten;
    size_t reported = 0;
    std::map<size_t, std::unique_ptr<OffscreenView>> gl;
};

long pixelsWhere(const OffscreenView& gl, int x0, int y0, int width, int height, bool (*wanted)(const uint8_t*)) {
    long count = 0;
    for (int y = y0; y < y0 + height && y < gl.height(); ++y)
        for (int x = x0; x < x0 + width && x < gl.width(); ++x)
            count += wanted(&gl.pixels()[(size_t(y) * size_t(gl.width()) + size_t(x)) * 4]);
    return count;
}

// The --fps text's colour: no mote has it (every mote colour has some blue).
bool pureYellow(const uint8_t* p) { return p[0] == 255 && p[1] == 255 && p[2] == 0; }

}  // namespace

// A gone screen's view is freed before the backend forgets the screen, and is never
// drawn again; a new screen's view is made, started and drawn; the others run on. A
// screen whose view cannot be made stays empty and the run goes on.
TEST(FrameDriver, ScreensThatComeAndGoDuringTheRun) {
    ChangingScreens system;
    Options options;
    options.seed = 7;
    FrameDriver driver(system, options, nullptr);
    std::string error;
    ASSERT_TRUE(driver.start(error)) << error;
    for (int i = 0; i < 3; ++i) driver.turn();

    system.changes.gone = {0};
    system.changes.added = {system.screen(400.0), system.screen(600.0, false)};
    const long before = driver.framesDrawn();
    for (int i = 0; i < 5; ++i) driver.turn();

    EXPECT_EQ(system.forgotten, (std::vector<size_t>{0, 3}));
    EXPECT_EQ(driver.framesDrawn(), before + 5);
    EXPECT_GT(test::litPixels(test::frameOf(driver.view(1))), 0);
    EXPECT_GT(test::litPixels(test::frameOf(driver.view(2))), 0);
    EXPECT_TRUE(driver.view(2).isAnimating());
}

// The driver draws the --fps text over every view's frame whatever the window system:
// here offscreen, once the meter has a second's worth of frames.
TEST(FrameDriver, DrawsTheFpsTextInTheLowerLeftCornerOfEveryView) {
    ChangingScreens system;
    Options options;
    options.fps = true;
    FrameDriver driver(system, options, nullptr);
    std::string error;
    ASSERT_TRUE(driver.start(error)) << error;
    const auto begin = Clock::now();
    while (Clock::now() - begin < std::chrono::milliseconds(1200)) driver.turn();
    driver.turn();

    for (size_t i : {0, 1}) {
        EXPECT_GE(pixelsWhere(system.glOf(i), 0, 0, 160, 30, pureYellow), 20) << "the text of screen " << i;
        EXPECT_EQ(pixelsWhere(system.glOf(i), 0, 40, 160, 80, pureYellow), 0) << "nothing above it on screen " << i;
    }
}
