// The program as a native Wayland client, on a private headless sway with two outputs:
// HEADLESS-1 (1280x720, scale 1) at the origin and HEADLESS-2 (800x600 at scale 2, so
// 400x300 logical) to its right. Skipped where sway and its tools are not installed.
#include "host/Process.h"
#include "support/HeadlessSway.h"
#include "support/WaylandRuns.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/XPixels.h"  // after gtest: Xlib defines None

#include <sstream>

using namespace zorvan;
using namespace zorvan::test;

namespace {

#define START_SWAY(sway)                                 \
    test::HeadlessSway sway;                             \
    if (!sway.available()) GTEST_SKIP() << sway.why()

}  // namespace

// The saver covers both outputs, the scale-2 one at its full resolution; a key, pointer
// motion beyond the slack (not within it), a click and SIGTERM each end it with 0.
TEST(WaylandSaver, CoversEveryOutputAndEndsOnInput) {
    START_SWAY(sway);
    expectSaverOnEveryOutputEndedByInput(sway, "wayland-fullscreen");
}

// The wallpaper draws on both outputs (with the --fps text) and on one plugged in while
// it runs, lets keys, clicks and motion pass, and stops on a signal. The saver over it
// under mainScreenOnly, started by swayidle, draws on the output at the origin and
// covers the others in black.
TEST(WaylandSaver, WallpaperUnderTheSaverThatSwayidleStarts) {
    START_SWAY(sway);
    const int wallpaper = startZorvan(sway, {"--wallpaper", "--fps"});
    ASSERT_TRUE(sway.waitForLit("HEADLESS-1", MOTES, 15)) << sway.log();
    ASSERT_TRUE(sway.waitForLit("HEADLESS-2", MOTES, 15)) << sway.log();
    // The meter's first reading, after its first second; the sanitizers make it later.
    bool text = false;
    for (int look = 0; look < 20 && !text; ++look) {
        settle(0.5);
        text = pixelsOf(sway.outputShot("HEADLESS-2"), 0xFFFF00) > 200;
    }
    EXPECT_TRUE(text) << "no --fps text";
    ASSERT_TRUE(sway.key("space")) << sway.error();
    ASSERT_TRUE(sway.moveTo(600, 300) && sway.move(200, 100) && sway.click()) << sway.error();
    settle(0.5);
    EXPECT_TRUE(running(wallpaper));
    ASSERT_EQ(sway.swaymsg({"create_output"}).exitCode, 0);
    EXPECT_TRUE(sway.waitForLit("HEADLESS-3", MOTES, 15));

    const std::string command = test::zorvanPath() + " --fullscreen --main-screen-only --seed 5";
    const int idle = sway.startClient("swayidle", {"-w", "timeout", "1", command}, test::ChildSetup{});
    ASSERT_GT(idle, 0);
    long others = -1;
    waitUntil([&] { return (others = sway.litPixels("HEADLESS-2") + sway.litPixels("HEADLESS-3")) == 0; }, 15, 0.2);
    EXPECT_EQ(others, 0) << "the saver's black does not cover the wallpaper beside the main output";
    EXPECT_GT(sway.litPixels("HEADLESS-1"), MOTES);
    EXPECT_TRUE(running(wallpaper));
    expectPromptStop(wallpaper);
}

// A plain run is a window titled "Zorvan" with motes; the compositor closing it ends the
// run with 0. Made full screen and then covered by the saver, it draws nothing and so
// takes next to no CPU; q ends it.
TEST(WaylandWindow, ShowsMotesClosesAndRestsWhenCovered) {
    START_SWAY(sway);
    const std::string focused = sway.focusedOutput();  // where the window opens
    int pid = startZorvan(sway, {});
    ASSERT_TRUE(sway.waitForLit(focused, MOTES, 15)) << sway.log();
    sway.outputShot(focused, "wayland-window");
    EXPECT_NE(sway.swaymsg({"-t", "get_tree"}).out.find("\"name\": \"Zorvan\""), std::string::npos);
    ASSERT_EQ(sway.swaymsg({"[app_id=zorvan]", "kill"}).exitCode, 0);
    EXPECT_EQ(test::waitProcess(pid, 10.0), 0);

    pid = startZorvan(sway, {});
    ASSERT_TRUE(sway.waitForLit(focused, MOTES, 15));
    ASSERT_EQ(sway.swaymsg({"[app_id=zorvan]", "fullscreen", "enable"}).exitCode, 0);
    settle(0.5);
    const double drawing = cpuOver(pid, 1.0);

    const int saver = startZorvan(sway, {"--fullscreen"});
    ASSERT_TRUE(sway.waitForLit("HEADLESS-1", MOTES, 15));
    settle(0.5);
    const double covered = cpuOver(pid, 2.0);
    EXPECT_LT(covered, 0.04) << "drawing took " << drawing << " s a second";
    EXPECT_GT(drawing, 4 * covered);
    EXPECT_TRUE(running(pid));
    expectPromptStop(saver);
    ASSERT_TRUE(sway.key("space")) << sway.error();  // any other key leaves the window
    settle(0.3);
    EXPECT_TRUE(running(pid));
    ASSERT_TRUE(sway.key("q")) << sway.error();
    EXPECT_EQ(test::waitProcess(pid, 10.0), 0);
}

// Where a Wayland compositor answers, the program is its client unless --x11 keeps it
// on X11 (--root is always X11's); --wallpaper without one is a clear error, and so is
// a WAYLAND_DISPLAY whose socket is not there, named first.
TEST(WaylandSession, X11FormsStayOnX11AndTheWallpaperNeedsWayland) {
    const auto alone = test::runProcess(test::zorvanPath(), {"--wallpaper"}, {"WAYLAND_DISPLAY", "WAYLAND_SOCKET"});
    EXPECT_EQ(alone.exitCode, 2);
    EXPECT_NE(alone.err.find("--wallpaper needs a Wayland session"), std::string::npos) << alone.err;
    EXPECT_EQ(lines(alone.err), 1) << alone.err;

    test::TempDir runtime;
    test::ChildSetup nowhere;
    nowhere.env = {"WAYLAND_DISPLAY=wayland-nowhere", "XDG_RUNTIME_DIR=" + runtime.path(), "WAYLAND_SOCKET", "DISPLAY"};
    nowhere.errPath = runtime.file("err");
    EXPECT_EQ(test::waitProcess(test::spawnProcess(test::zorvanPath(), {"--fullscreen"}, nowhere), 10.0), 2);
    const std::string err = test::readFile(runtime.file("err"));
    EXPECT_EQ(err.rfind("zorvan: cannot connect to the Wayland display wayland-nowhere (" +
                            runtime.file("wayland-nowhere") + ": No such file or directory)",
                        0),
              0u)
        << err;
    EXPECT_EQ(lines(err), 1) << err;

    START_SWAY(sway);
    const char* x = std::getenv("DISPLAY");
    Display* display = x ? XOpenDisplay(x) : nullptr;
    if (!display) GTEST_SKIP() << "no X display beside the compositor";
    test::ChildSetup onBoth;
    onBoth.env = {std::string("DISPLAY=") + x};
    const int x11 = sway.startClient(test::zorvanPath(), {"--x11", "--seed", "5"}, onBoth);
    EXPECT_NE(test::windowOf(display, x11, "Zorvan"), 0ul);
    const int wayland = sway.startClient(test::zorvanPath(), {"--seed", "5"}, onBoth);
    EXPECT_TRUE(sway.waitForLit(sway.focusedOutput(), MOTES, 15));
    EXPECT_TRUE(running(wayland));
    kill(wayland, SIGTERM);
    kill(x11, SIGTERM);
    EXPECT_EQ(test::waitProcess(x11, 10.0), 0);
    EXPECT_EQ(test::waitProcess(wayland, 10.0), 0);
    XCloseDisplay(display);
}
