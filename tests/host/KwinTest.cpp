// The program as a native Wayland client of a private KWin with one virtual output, at
// an integer scale and at a fractional one. KWin draws through llvmpipe here and is slow
// to start, so each scale starts it once. Skipped where KWin is not installed.
#include "host/Process.h"
#include "support/HeadlessKwin.h"
#include "support/WaylandRuns.h"

#include <gtest/gtest.h>
#include <signal.h>

using namespace zorvan;
using namespace zorvan::test;

#define START_KWIN(kwin, width, height, scale)     \
    test::HeadlessKwin kwin(width, height, scale); \
    if (!kwin.available()) GTEST_SKIP() << kwin.why()

// At scale 2 a window of 300x200 points is 600x400 pixels (KWin keeps the size of the
// first buffer: one sent before the scale is set makes it twice as large), under a
// title bar that KWin draws; SIGTERM ends it at once.
TEST(KwinWindow, SizedInPointsAndDecoratedAtScale2) {
    START_KWIN(kwin, 800, 600, 2);
    const int pid = startZorvan(kwin, {"--size", "300x200"});
    ASSERT_TRUE(kwin.waitForLit(MOTES, 15)) << kwin.error() << kwin.log();
    const test::Shot bare = kwin.windowShot(false);
    ASSERT_FALSE(bare.rgb.empty()) << kwin.error();
    EXPECT_EQ(bare.width, 600u);
    EXPECT_EQ(bare.height, 400u);
    const test::Shot framed = kwin.windowShot(true, "kwin-window");
    EXPECT_GT(framed.height, bare.height + 20)
        << "KWin draws no title bar over the window (it needs its Breeze decoration: kwin-style-breeze)";
    expectPromptStop(pid, "the window");
}

// At scale 1.5 on a 1280x720 output the saver draws 1920x1080 pixels of its own; the
// saver and the wallpaper (KWin offers the layer shell) each show motes and end at once
// on SIGTERM with 0; swayidle starts the saver on KWin's idle protocol; the saver ends
// with 1 and one line when KWin dies under it.
TEST(KwinSaver, FullResolutionAtScale1_5AndEveryForm) {
    START_KWIN(kwin, 1280, 720, 1.5);
    int pid = startZorvan(kwin, {"--fullscreen"});
    // Crisp from the first frame that shows: the scale is known before the first buffer.
    test::Shot shot;
    ASSERT_TRUE(kwin.waitFor([](const test::Shot& s) { return litPixels(s) >= MOTES; }, 15, &shot))
        << kwin.error() << kwin.log();
    const long lit = litPixels(shot), soft = softPixels(shot);
    EXPECT_EQ(shot.width, 1920u);
    EXPECT_EQ(shot.height, 1080u);
    EXPECT_LT(soft, lit / 100) << soft << " of " << lit
                               << " lit pixels are soft rims: the motes were not drawn at 1920x1080";
    kwin.screenshot("kwin-fullscreen-1.5");
    expectPromptStop(pid, "the saver");

    ASSERT_TRUE(kwin.waitUntilBlack(10));
    pid = startZorvan(kwin, {"--wallpaper"});
    EXPECT_TRUE(kwin.waitForLit(MOTES, 15)) << kwin.error();
    expectPromptStop(pid, "the wallpaper");

    ASSERT_TRUE(kwin.waitUntilBlack(10));
    test::ChildSetup group;
    group.ownGroup = true;  // swayidle and the saver it starts end together
    group.errPath = kwin.file("swayidle.err");  // its complaints of no system bus
    const std::string command = test::zorvanPath() + " --fullscreen --seed 5";
    const int idle = kwin.startClient("swayidle", {"-w", "timeout", "1", command}, group);
    ASSERT_GT(idle, 0);
    EXPECT_TRUE(kwin.waitForLit(MOTES, 15)) << "swayidle did not start the saver";
    kill(-idle, SIGTERM);
    test::waitProcess(idle, 5);

    ASSERT_TRUE(kwin.waitUntilBlack(10));
    pid = startZorvan(kwin, {"--fullscreen"}, "saver.err");
    ASSERT_TRUE(kwin.waitForLit(MOTES, 15)) << kwin.error();
    expectEndsWithCompositor(kwin, pid, "saver.err");
}

// KWin keeps asking a covered wallpaper for frames, so the wallpaper learns of the saver
// over it from the saver itself: it rests while a Zorvan saver of its session runs, and
// a saver killed without a word leaves it drawing again.
TEST(KwinWallpaper, RestsUnderTheSaverUntilTheSaverIsKilled) {
    START_KWIN(kwin, 800, 600, 1);
    const int wallpaper = startZorvan(kwin, {"--wallpaper"});
    ASSERT_TRUE(kwin.waitForLit(MOTES, 15)) << kwin.error() << kwin.log();
    const double seen = cpuOver(wallpaper, 2.0);

    const int saver = startZorvan(kwin, {"--fullscreen"});
    EXPECT_TRUE(test::waitUntil([&] { return cpuOver(wallpaper, 0.5) < seen / 40; }, 15, 0))
        << "the wallpaper went on drawing under the saver";
    const double covered = cpuOver(wallpaper, 2.0);
    EXPECT_LE(covered, seen / 10) << "seen: " << seen << " s in 2 s";
    EXPECT_TRUE(running(saver));

    ASSERT_EQ(::kill(saver, SIGKILL), 0);
    test::waitProcess(saver, 5);
    settle(0.5);
    EXPECT_GT(cpuOver(wallpaper, 2.0), seen / 3) << "the wallpaper still rests after the saver was killed";
    expectPromptStop(wallpaper, "the wallpaper");
}
