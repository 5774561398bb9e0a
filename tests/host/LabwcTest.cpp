// The program as a native Wayland client of a private headless labwc (the wlroots desktop
// of Raspberry Pi OS) with two outputs: HEADLESS-1 (1280x720, scale 1) at the origin and
// HEADLESS-2 (800x600 at scale 2, so 400x300 logical) to its right. Skipped where labwc
// and its tools are not installed. --span and the idle daemon on labwc are tested beside
// the other desktops' (SpanTest, IdleDaemonTest).
#include "host/Process.h"
#include "support/HeadlessLabwc.h"
#include "support/WaylandRuns.h"

#include <gtest/gtest.h>

using namespace zorvan;
using namespace zorvan::test;

namespace {

#define START_LABWC(labwc)     \
    test::HeadlessLabwc labwc; \
    if (!labwc.available()) GTEST_SKIP() << labwc.why()

// The white of labwc's cursor where the pointer is parked.
long cursorPixels(const Shot& shot) {
    const Box around{HeadlessLabwc::PARK_X, HeadlessLabwc::PARK_Y, HeadlessLabwc::PARK_X + 24,
                     HeadlessLabwc::PARK_Y + 24};
    return countPixels(shot, around, [](const unsigned char* p) { return p[0] == 255 && p[1] == 255 && p[2] == 255; });
}

// Waits up to 15 s for motes on `output`; the picture that shows them, else the last.
Shot motesOn(HeadlessLabwc& labwc, const std::string& output) {
    Shot shot;
    waitUntil([&] { return litPixels(shot = labwc.outputShot(output)) >= MOTES; }, 15, 0.02);
    return shot;
}

}  // namespace

// The saver on both outputs, ended by input, as on sway. With HEADLESS-1 at scale 1.5
// (1920x1080 pixels for 1280x720 points) it draws that output at its full resolution
// from the first frame that shows. swayidle starts it on labwc's idle protocol.
TEST(LabwcSaver, EveryOutputEndedByInputAndScale1_5) {
    START_LABWC(labwc);
    expectSaverOnEveryOutputEndedByInput(labwc, "labwc-fullscreen");

    ASSERT_EQ(labwc.randr({"--output", "HEADLESS-1", "--custom-mode", "1920x1080", "--scale", "1.5"}).exitCode, 0);
    const int pid = startZorvan(labwc, {"--fullscreen"});
    const Shot shot = motesOn(labwc, "HEADLESS-1");
    const long lit = litPixels(shot), soft = softPixels(shot);
    ASSERT_GE(lit, MOTES) << labwc.log();
    EXPECT_EQ(shot.width, 1920u);
    EXPECT_LT(soft, lit / 100) << soft << " of " << lit
                               << " lit pixels are soft rims: the motes were not drawn at 1920x1080";
    writeShot(shot, shotFile("labwc-fullscreen-1.5"));
    EXPECT_TRUE(labwc.waitForLit("HEADLESS-2", MOTES, 15));
    expectPromptStop(pid);

    ASSERT_TRUE(waitUntil([&] { return litPixels(labwc.outputShot("HEADLESS-1")) < MOTES; }, 10, 0.05));
    ChildSetup group;
    group.ownGroup = true;  // swayidle and the saver it starts end together
    group.errPath = labwc.file("swayidle.err");
    const int idle = labwc.startClient("swayidle", {"-w", "timeout", "1", zorvanPath() + " --fullscreen"}, group);
    ASSERT_GT(idle, 0);
    EXPECT_TRUE(labwc.waitForLit("HEADLESS-1", MOTES, 15)) << "swayidle did not start the saver "
                                                           << readFile(group.errPath);
}

// A plain run is a window under labwc's title bar, with motes under the bar and nothing
// above it; the bar's close button ends it with 0. The wallpaper draws on both outputs
// and lets keys, clicks and motion pass: a click on it opens labwc's menu. The saver over
// a window over the wallpaper hides the cursor, and the two under it draw nothing and so
// take next to no CPU; once the saver has gone, q ends the window.
TEST(LabwcDesktop, TitledWindowWallpaperAndRestUnderTheSaver) {
    START_LABWC(labwc);
    int window = startZorvan(labwc, {"--size", "640x360"});
    Shot shot;
    Band bar;
    const bool titled = waitUntil(
        [&] {
            shot = labwc.outputShot("HEADLESS-1");
            bar = titleBand(shot);
            return bar.rows >= 10 && litPixels(shot, {0, bar.bottom, shot.width, shot.height}) > MOTES;
        },
        15, 0.05);
    writeShot(shot, shotFile("labwc-window"));
    ASSERT_TRUE(titled) << "no title bar over motes\n" << labwc.log();
    EXPECT_EQ(litPixels(shot, {0, 0, shot.width, bar.top}), 0) << "lit pixels above the title bar";
    // The bar's close button is its last, about a square of its height at its right end.
    const size_t middle = (bar.top + bar.bottom) / 2;
    const Box row = boxOf(part(shot, {0, middle, shot.width, middle + 1}), [](const unsigned char* p) { return isLit(p); });
    ASSERT_TRUE(labwc.moveTo(int(row.right - bar.rows / 2), int(middle)) && labwc.click()) << labwc.error();
    EXPECT_EQ(waitProcess(window, 10.0), 0) << "the close button did not end the window";

    const int wallpaper = startZorvan(labwc, {"--wallpaper"});
    ASSERT_TRUE(labwc.waitForLit("HEADLESS-1", MOTES, 15)) << labwc.log();
    ASSERT_TRUE(labwc.waitForLit("HEADLESS-2", MOTES, 15));
    ASSERT_TRUE(labwc.key("space")) << labwc.error();
    ASSERT_TRUE(labwc.moveTo(600, 300) && labwc.move(200, 100) && labwc.click()) << labwc.error();
    settle(0.5);
    ASSERT_TRUE(running(wallpaper));
    // The click reaches the desktop, whose menu opens under the pointer, white.
    const long menu = countPixels(labwc.outputShot("HEADLESS-1", "labwc-wallpaper-menu"), {800, 400, 900, 450},
                                  [](const unsigned char* p) { return p[0] > 240 && p[1] > 240 && p[2] > 240; });
    EXPECT_GT(menu, 2000) << "labwc's menu did not open at the click";
    ASSERT_TRUE(labwc.key("Escape") && labwc.moveTo(HeadlessLabwc::PARK_X, HeadlessLabwc::PARK_Y)) << labwc.error();

    window = startZorvan(labwc, {"--size", "640x360"});
    ASSERT_TRUE(waitUntil([&] { return titleBand(labwc.outputShot("HEADLESS-1")).rows >= 10; }, 15, 0.05));
    // labwc 0.8 draws its cursor into the pictures; 0.20 leaves it out of them, and then
    // there is no cursor to see hidden.
    const bool cursorSeen = cursorPixels(labwc.outputShot("HEADLESS-1")) > 10;
    settle(0.5);
    const double drawing = cpuOver(window, 1.0), behind = cpuOver(wallpaper, 1.0);
    const int saver = startZorvan(labwc, {"--fullscreen"});
    ASSERT_TRUE(labwc.waitForLit("HEADLESS-1", MOTES, 15));
    settle(0.5);
    if (cursorSeen) {
        EXPECT_EQ(cursorPixels(labwc.outputShot("HEADLESS-1")), 0) << "the cursor shows over the saver";
    }
    const double covered = cpuOver(window, 2.0), under = cpuOver(wallpaper, 2.0);
    EXPECT_LT(covered, 0.04) << "the window drew under the saver; drawing took " << drawing << " s a second";
    EXPECT_GT(drawing, 4 * covered);
    EXPECT_LT(under, 0.04) << "the wallpaper drew under the saver; drawing took " << behind << " s a second";
    EXPECT_GT(behind, 4 * under);
    expectPromptStop(saver);
    ASSERT_TRUE(labwc.key("space")) << labwc.error();  // any other key leaves the window
    settle(0.3);
    EXPECT_TRUE(running(window));
    ASSERT_TRUE(labwc.key("q")) << labwc.error();
    EXPECT_EQ(waitProcess(window, 10.0), 0);
    EXPECT_TRUE(running(wallpaper));
    expectPromptStop(wallpaper);
}
