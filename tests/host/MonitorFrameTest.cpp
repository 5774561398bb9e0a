// Monitor areas to view frames: the primary monitor's lower-left corner is the origin.
#include "host/driver/Monitors.h"
#include "platform/gl/OffscreenView.h"
#include "saver/Zorvan.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace zorvan;
using zorvan::host::Monitor;
using zorvan::host::PixelRect;

namespace {

void expectFrame(const Rect& r, double x, double y, double w, double h) {
    EXPECT_EQ(r.x, x);
    EXPECT_EQ(r.y, y);
    EXPECT_EQ(r.width, w);
    EXPECT_EQ(r.height, h);
}

}  // namespace

TEST(MonitorFrame, PrimaryAtOriginOthersAroundIt) {
    // A 1920x1080 primary in the middle of X's layout, with monitors on every side.
    const std::vector<Monitor> monitors = {
        {{1280, 0, 1280, 1024}, false},   // above
        {{0, 1024, 1280, 1024}, false},   // left
        {{1280, 1024, 1920, 1080}, true}, // primary
        {{3200, 1024, 1024, 768}, false}, // right, top aligned
        {{1280, 2104, 800, 600}, false},  // below
        {{1600, 1200, 640, 480}, false},  // overlapping the primary
    };
    EXPECT_EQ(host::primaryIndex(monitors), 2);
    expectFrame(host::frameOf(monitors[2].area, monitors), 0, 0, 1920, 1080);
    expectFrame(host::frameOf(monitors[0].area, monitors), 0, 1080, 1280, 1024);
    expectFrame(host::frameOf(monitors[1].area, monitors), -1280, 56, 1280, 1024);
    expectFrame(host::frameOf(monitors[3].area, monitors), 1920, 312, 1024, 768);
    expectFrame(host::frameOf(monitors[4].area, monitors), 0, -600, 800, 600);
    expectFrame(host::frameOf(monitors[5].area, monitors), 320, 424, 640, 480);
}

TEST(MonitorFrame, WithoutPrimaryTheFirstMonitorIsTheMain) {
    const std::vector<Monitor> monitors = {{{1280, 0, 1280, 1024}, false},
                                           {{0, 0, 1280, 1024}, false}};
    EXPECT_EQ(host::primaryIndex(monitors), 0);
    expectFrame(host::frameOf(monitors[0].area, monitors), 0, 0, 1280, 1024);
    expectFrame(host::frameOf(monitors[1].area, monitors), -1280, 0, 1280, 1024);
    EXPECT_EQ(host::primaryIndex({}), -1);
    expectFrame(host::frameOf({10, 20, 30, 40}, {}), 0, 0, 30, 40);
}

TEST(MonitorFrame, AWindowStandsForTheMonitorItLiesWithin) {
    const std::vector<Monitor> monitors = {{{0, 0, 1280, 1024}, false},
                                           {{1280, 0, 1280, 1024}, false}};
    // The daemon's window on the second monitor, and a smaller window inside it.
    const PixelRect whole = host::screenAreaOf({1280, 0, 1280, 1024}, monitors);
    EXPECT_EQ(whole.x, 1280);
    const PixelRect inner = host::screenAreaOf({1300, 500, 200, 100}, monitors);
    EXPECT_EQ(inner.x, 1280);
    EXPECT_EQ(inner.width, 1280);
    // A window over both monitors (the root window) is its own area.
    const PixelRect root = host::screenAreaOf({0, 0, 2560, 1024}, monitors);
    EXPECT_EQ(root.width, 2560);
    expectFrame(host::frameOf(root, monitors), 0, 0, 2560, 1024);
}

TEST(MonitorFrame, MainScreenOnlyDeclinesExactlyTheNonPrimaryMonitors) {
    const test::StoreFile store("[Zorvan]\nmainScreenOnly=true\nnumMotes=10\n");
    const std::vector<Monitor> monitors = {{{0, 0, 1024, 768}, false},
                                           {{1024, 0, 640, 480}, true},
                                           {{1024, 480, 640, 480}, false},
                                           {{-800, 700, 800, 600}, false}};
    for (size_t i = 0; i < monitors.size(); ++i) {
        const Rect frame = host::frameOf(monitors[i].area, monitors);
        Zorvan view{OffscreenView::factory()};
        ASSERT_TRUE(view.initWithFrame(frame, false));
        EXPECT_EQ(view.draws(), monitors[i].primary) << "monitor " << i;
    }
}
