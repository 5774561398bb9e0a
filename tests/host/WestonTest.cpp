// The program as a native Wayland client of a private headless weston: one output of
// 1280x720 points at scale 1 or 2. Weston offers no layer shell (so the saver is a
// toplevel set full screen, and there is no wallpaper), no decorations (the window draws
// its own title bar) and no seat (no input to send). Skipped where weston is not installed.
#include "support/HeadlessWeston.h"
#include "support/WaylandRuns.h"

#include <gtest/gtest.h>

using namespace zorvan;
using namespace zorvan::test;

namespace {

#define START_WESTON(weston, width, height, scale)       \
    test::HeadlessWeston weston(width, height, scale);   \
    if (!weston.available()) GTEST_SKIP() << weston.why()

}  // namespace

// Scale 1: the wallpaper is refused plainly and swayidle finds no idle protocol; the
// window shows motes under a title bar it draws itself; the saver covers the output;
// SIGTERM ends each at once; weston going away under a running window ends it with 1 and
// one line, at once.
TEST(Weston, WindowWithTitleBarFullscreenAndTheirEnds) {
    START_WESTON(weston, 1280, 720, 1);
    const auto wallpaper = weston.runClient(test::zorvanPath(), {"--wallpaper"});
    EXPECT_EQ(wallpaper.exitCode, 2) << wallpaper.err;
    EXPECT_EQ(lines(wallpaper.err), 1) << wallpaper.err;
    expectNoIdleProtocol(weston);

    // Weston puts a new window at offsets drawn from random(), which it never seeds: the
    // first one of 640x360 lands at (103, 286), its title bar in view above it.
    int pid = startZorvan(weston, {"--size", "640x360"}, "window.err");
    ASSERT_TRUE(weston.waitForLit(MOTES, 15))
        << "the screenshooter's picture shows no motes: " << weston.error()
        << test::readFile(weston.file("window.err"));
    const test::Shot window = weston.screenshot("weston-window");
    // libdecor's plugin draws the bar dark grey, 0x303030 while the window is not active,
    // which it never is without a seat.
    const test::Band bar = titleBand(window);
    EXPECT_GE(bar.rows, 10) << "no title bar over the window";
    EXPECT_EQ(litPixels(window, {0, 0, window.width, bar.top}), 0) << "lit pixels above the title bar";
    EXPECT_GT(litPixels(window, {0, bar.bottom, window.width, window.height}), MOTES) << "no motes under the title bar";
    EXPECT_FALSE(reachesEveryEdge(window));
    expectPromptStop(pid, "window");

    pid = startZorvan(weston, {"--fullscreen"}, "fullscreen.err");
    ASSERT_TRUE(weston.waitForLit(MOTES, 15)) << test::readFile(weston.file("fullscreen.err"));
    const test::Shot full = weston.screenshot("weston-fullscreen");
    EXPECT_TRUE(reachesEveryEdge(full)) << "the saver does not cover the output";
    EXPECT_EQ(titleBand(full).rows, 0) << "a title bar on the saver";
    expectPromptStop(pid, "fullscreen");

    pid = startZorvan(weston, {}, "orphan.err");
    ASSERT_TRUE(weston.waitForLit(MOTES, 15)) << test::readFile(weston.file("orphan.err"));
    expectEndsWithCompositor(weston, pid, "orphan.err");
}

// Scale 2: the saver's first buffer fits the full-screen size weston asks for (weston
// ends a client whose buffer is larger), and it draws at the output's full resolution.
TEST(Weston, FullscreenAtScale2) {
    START_WESTON(weston, 1280, 720, 2);
    const int pid = startZorvan(weston, {"--fullscreen"}, "fullscreen.err");
    ASSERT_TRUE(weston.waitForLit(MOTES, 15)) << test::readFile(weston.file("fullscreen.err"));
    const test::Shot shot = weston.screenshot("weston-fullscreen-scale2");
    EXPECT_EQ(shot.width, 2560u);
    EXPECT_TRUE(reachesEveryEdge(shot)) << "the saver does not cover the output";
    EXPECT_GT(mixedBlocks(shot), 200) << "drawn at half the resolution and scaled up";
    EXPECT_TRUE(running(pid)) << test::readFile(weston.file("fullscreen.err"));
    expectPromptStop(pid, "fullscreen");
}
