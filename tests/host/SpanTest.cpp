// --span: one scene over every screen. A span run over screens whose box is W x H points
// leaves the same mote dump as `--render --size WxH`, and each scale-1 screen shows
// exactly its rectangle of that render (a scale-2 one that rectangle at twice the
// resolution). The pictures are taken between the first frame and the second, which a
// long --delay keeps seconds apart; the dump is written after the second.
#include "host/Process.h"
#include "support/HeadlessLabwc.h"
#include "support/HeadlessSway.h"
#include "support/WaylandRuns.h"

#include <gtest/gtest.h>

#include "TwoMonitorDisplay.h"  // after gtest: Xlib defines None
#include "support/Pictures.h"

using namespace zorvan;
using namespace zorvan::test;

namespace {

const std::vector<std::string> TWO_FRAMES = {"--frames", "2", "--delay", "4000000", "--seed", "5"};

// The pixels of `shot` that differ from the rectangle of `picture` at (x, y) of its size;
// -1 when either is empty or the rectangle does not fit.
long differences(const Shot& shot, const Shot& picture, size_t x, size_t y) {
    if (shot.rgb.empty() || picture.rgb.empty() || x + shot.width > picture.width || y + shot.height > picture.height)
        return -1;
    long differ = 0;
    for (size_t row = 0; row < shot.height; ++row)
        for (size_t col = 0; col < shot.width; ++col)
            if (!std::equal(shot.at(col, row), shot.at(col, row) + 3, picture.at(x + col, y + row))) ++differ;
    return differ;
}

// The render of the box of width x height points: its picture after one frame at
// `scale` pixels a point, its dump after two.
struct Render {
    Shot picture;
    std::string dump;
};
Render renderBox(const TempDir& dir, int width, int height, int scale = 1) {
    auto size = [](int w, int h) { return std::to_string(w) + "x" + std::to_string(h); };
    const auto one = runProcess(zorvanPath(), {"--render", dir.file("r.png"), "--size", size(width * scale, height * scale),
                                               "--scale", std::to_string(scale), "--frames", "1", "--seed", "5"});
    const auto two = runProcess(zorvanPath(), {"--render", dir.file("r2.png"), "--size", size(width, height), "--frames",
                                               "2", "--seed", "5", "--dump-motes", dir.file("render.txt")});
    EXPECT_EQ(one.exitCode, 0) << one.err;
    EXPECT_EQ(two.exitCode, 0) << two.err;
    return {readShot(dir.file("r.png")), readFile(dir.file("render.txt"))};
}

// The layout of the wlroots desktops: HEADLESS-2 at scale 2 is 400x300 points beside
// 1280x720, a box of 1680x720. Its 800x600 pixels are the scene drawn at twice the
// resolution.
void expectScale2Span(HeadlessWlroots& desktop, const std::string& name) {
    TempDir dir;
    std::vector<std::string> args = {"--fullscreen", "--span", "--dump-motes", desktop.file("span.txt")};
    args.insert(args.end(), TWO_FRAMES.begin(), TWO_FRAMES.end());
    const int pid = desktop.startClient(zorvanPath(), args);
    ASSERT_TRUE(desktop.waitForLit("HEADLESS-1", MOTES, 15)) << desktop.log();
    ASSERT_TRUE(desktop.waitForLit("HEADLESS-2", MOTES / 4, 15)) << desktop.log();
    const Shot left = desktop.outputShot("HEADLESS-1"), scaled = desktop.outputShot("HEADLESS-2", name);
    EXPECT_EQ(waitProcess(pid, 15), 0);

    const Render render = renderBox(dir, 1680, 720, 2);
    EXPECT_EQ(readFile(desktop.file("span.txt")), render.dump);
    EXPECT_EQ(differences(scaled, render.picture, 2 * 1280, 0), 0);
    const Render plain = renderBox(dir, 1680, 720);
    EXPECT_EQ(differences(left, plain.picture, 0, 0), 0);
}

#define START_SWAY(sway)     \
    test::HeadlessSway sway; \
    if (!sway.available()) GTEST_SKIP() << sway.why()

}  // namespace

// 1280x720 and 800x600 side by side at scale 1: a box of 2080x720 points.
TEST(SpanSway, TwoOutputsShowTheirRectanglesOfOneScene) {
    START_SWAY(sway);
    ASSERT_EQ(sway.swaymsg({"output", "HEADLESS-2", "scale", "1", "pos", "1280", "0"}).exitCode, 0);
    TempDir dir;
    std::vector<std::string> args = {"--fullscreen", "--span", "--dump-motes", sway.file("span.txt")};
    args.insert(args.end(), TWO_FRAMES.begin(), TWO_FRAMES.end());
    ChildSetup setup;
    setup.errPath = sway.file("err");
    const int pid = sway.startClient(zorvanPath(), args, setup);
    ASSERT_TRUE(sway.waitForLit("HEADLESS-1", MOTES, 15)) << sway.log();
    ASSERT_TRUE(sway.waitForLit("HEADLESS-2", MOTES / 4, 15)) << sway.log();
    const Shot left = sway.outputShot("HEADLESS-1", "span-sway-1"), right = sway.outputShot("HEADLESS-2", "span-sway-2");
    EXPECT_EQ(waitProcess(pid, 15), 0) << readFile(sway.file("err"));
    EXPECT_EQ(readFile(sway.file("err")), "");

    const Render render = renderBox(dir, 2080, 720);
    EXPECT_EQ(readFile(sway.file("span.txt")), render.dump) << "the span's dump is not the box's";
    EXPECT_EQ(differences(left, render.picture, 0, 0), 0);
    EXPECT_EQ(differences(right, render.picture, 1280, 0), 0);  // top-aligned, as sway places it
}

// Sway's own layout.
TEST(SpanSway, AScale2OutputShowsTheSceneAtItsResolution) {
    START_SWAY(sway);
    expectScale2Span(sway, "span-sway-scale-2");
}

// labwc lays the outputs out as sway does; its cursor, parked on HEADLESS-1, is hidden by
// the saver.
TEST(SpanLabwc, AScale2OutputShowsTheSceneAtItsResolution) {
    HeadlessLabwc labwc;
    if (!labwc.available()) GTEST_SKIP() << labwc.why();
    expectScale2Span(labwc, "span-labwc-scale-2");
}

// Two outputs of 1280x720 side by side: in the motion mode that gathers the motes into
// the logo at the centre of the scene, the logo forms on the seam, half on each output,
// not at the centre of each. An output plugged in then widens the box: the view is
// re-seeded over it, and the new output shows motes as well as the first. The
// --main-screen-only given is ignored with one warning.
TEST(SpanSway, OneLogoOnTheSeamAndAnOutputAddedWidensTheScene) {
    START_SWAY(sway);
    ASSERT_EQ(sway.swaymsg({"output", "HEADLESS-2", "mode", "1280x720", "scale", "1", "pos", "1280", "0"}).exitCode, 0);
    ChildSetup setup;
    setup.errPath = sway.file("err");
    const int pid = sway.startClient(
        zorvanPath(),
        {"--wallpaper", "--span", "--main-screen-only", "--mode", "2", "--colours", "logo", "--count", "3000", "--seed", "5"},
        setup);
    auto lit = [](const Shot& shot, size_t left) { return litPixels(shot, Box{left, 0, left + 200, 720}); };
    auto onTheSeam = [&](const Shot& shot) {
        const long seam = std::min(lit(shot, 1080), lit(shot, 1280));
        return shot.width == 2560 && seam > 400 && seam > 4 * std::max(lit(shot, 540), lit(shot, 1820));
    };
    Shot shot;
    EXPECT_TRUE(sway.waitFor(onTheSeam, 40, &shot)) << "no logo on the seam; " << lit(shot, 1080) << " and "
                                                    << lit(shot, 1280) << " lit beside it";
    settle(8);  // the logo, gathered: the README's picture
    writeShot(sway.screenshot(), shotFile("span-two-outputs"));

    ASSERT_EQ(sway.swaymsg({"create_output"}).exitCode, 0);
    EXPECT_TRUE(sway.waitForLit("HEADLESS-3", MOTES / 4, 15)) << sway.log();
    EXPECT_TRUE(sway.waitForLit("HEADLESS-1", MOTES / 4, 15));
    EXPECT_TRUE(running(pid));
    expectPromptStop(pid);
    EXPECT_EQ(readFile(sway.file("err")),
              "zorvan: warning: --main-screen-only has no meaning with --span: one scene goes over every screen\n");
}

// Xvfb split into two monitors of 1280x1024: the box is the whole 2560x1024 screen.
TEST(SpanX11, TwoMonitorsShowTheirRectanglesOfOneScene) {
    TwoMonitorDisplay x;
    if (!x.ok()) GTEST_SKIP() << x.why();
    TempDir dir;
    std::vector<std::string> args = {"--fullscreen", "--span", "--dump-motes", dir.file("span.txt")};
    args.insert(args.end(), TWO_FRAMES.begin(), TWO_FRAMES.end());
    const int pid = startProcess(zorvanPath(), args, {}, dir.file("err"));
    ASSERT_TRUE(x.waitForLit(0, 0, 1280, 1024, MOTES, 15));
    ASSERT_TRUE(x.waitForLit(1280, 0, 1280, 1024, MOTES, 15));
    const Shot screen = readShot(x.screenshot("span-x11"));
    EXPECT_EQ(waitProcess(pid, 15), 0) << readFile(dir.file("err"));

    const Render render = renderBox(dir, 2560, 1024);
    EXPECT_EQ(readFile(dir.file("span.txt")), render.dump);
    EXPECT_EQ(differences(screen, render.picture, 0, 0), 0);
}

// Under a screen-saver daemon each monitor has a process and a window of its own: --span
// cannot apply. Nor without a form that covers the screens, nor offscreen.
TEST(SpanOptions, RefusedWhereItCannotApply) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--span", "--root"}, {"--span", "--window-id", "0x200"}, {"--span"},
          {"--span", "--render", "x.png"}, {"--fullscreen", "--dump-motes", "d.txt"}}) {
        const auto run = runProcess(zorvanPath(), args);
        EXPECT_EQ(run.exitCode, 2) << args[1];
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    }
}
