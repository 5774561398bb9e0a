// The frame driver over a backend whose screens come and go during the run, as Wayland
// outputs do: offscreen views, frames back to back.
#include "host/driver/FrameDriver.h"

#include "platform/gl/OsMesaView.h"
#include "saver/Zorvan.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace zorvan;
using namespace zorvan::host;

namespace {

class ChangingScreens : public WindowSystem {
public:
    std::vector<ScreenSpec> screens() override { return {screen(0.0), screen(200.0)}; }
    bool preview() const override { return false; }
    bool paced() const override { return false; }
    EndReason poll() override { return EndReason::NotYet; }
    void wait(std::optional<Clock::time_point>) override {}
    int end(EndReason, std::vector<std::unique_ptr<Zorvan>>& views) override {
        views.clear();
        return 0;
    }

    ScreenChanges takeScreenChanges() override { return std::exchange(changes, {}); }
    void forget(size_t i) override { forgotten.push_back(i); }
    bool visible(size_t i) const override {
        EXPECT_EQ(std::count(forgotten.begin(), forgotten.end(), i), 0) << "screen " << i << " is gone";
        return true;
    }

    static ScreenSpec screen(double x, bool makesGL = true) {
        OpenGLViewFactory gl = OsMesaView::factory();
        if (!makesGL) gl = [](Rect, const OpenGLPixelFormat&) { return std::unique_ptr<OpenGLView>(); };
        return {Rect{x, 0.0, 160.0, 120.0}, Size{160.0, 120.0}, gl, " on screen at " + std::to_string(int(x))};
    }

    ScreenChanges changes;
    std::vector<size_t> forgotten;
};

long litPixels(Zorvan& view) {
    const auto& pixels = dynamic_cast<OsMesaView&>(*view.glView()).pixels();
    long lit = 0;
    for (size_t i = 0; i + 3 < pixels.size(); i += 4) lit += (pixels[i] | pixels[i + 1] | pixels[i + 2]) != 0;
    return lit;
}

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
    system.changes.added = {ChangingScreens::screen(400.0), ChangingScreens::screen(600.0, false)};
    const long before = driver.framesDrawn();
    for (int i = 0; i < 5; ++i) driver.turn();

    EXPECT_EQ(system.forgotten, (std::vector<size_t>{0, 3}));
    EXPECT_EQ(driver.framesDrawn(), before + 5);
    EXPECT_GT(litPixels(driver.view(1)), 0);
    EXPECT_GT(litPixels(driver.view(2)), 0);
    EXPECT_TRUE(driver.view(2).isAnimating());
}
