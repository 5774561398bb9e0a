// The settings pane as a native Wayland client, with no X display to fall back on: on a
// headless sway without XWayland at scale 1 and 2, on KWin at 1.5 and on mutter. Its
// preview shows motes at the output's resolution, and it is driven through its
// accessibility tree (settings_through_accessibility.py --wayland). Skipped where a
// compositor or its tools are not installed.
#include "host/Process.h"
#include "support/HeadlessKwin.h"
#include "support/HeadlessLabwc.h"
#include "support/HeadlessMutter.h"
#include "support/HeadlessSway.h"
#include "support/WaylandRuns.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

using namespace zorvan;
using namespace zorvan::test;

namespace {

// The pane's own lines on stderr: Debian testing's image loaders (glycin) add a warning
// of their own where bubblewrap cannot sandbox them, as in a chroot.
long paneLines(const std::string& err) {
    long n = 0;
    for (size_t at = 0; at < err.size();) {
        const size_t end = std::min(err.find('\n', at), err.size());
        n += end > at && err.compare(at, 17, "WARNING: Glycin r") != 0;
        at = end + 1;
    }
    return n;
}

// Plain squares without tails, held in one mode: as many lit pixels from one second to
// the next.
const char SETTINGS[] = "[Zorvan]\nmoteShape=0\ndrawMode=0\n";

// The pane on `compositor` with settings of its own: the whole pane, its Screen saver
// section too, with the usual settings file in a private config folder; or, not `whole`,
// the smaller pane of a settings file given with --prefs. Its pid. GTK picks the
// backend: no GDK_BACKEND, and no DISPLAY (the compositors' clients never get one).
int startPane(HeadlessCompositor& compositor, bool whole, const std::vector<std::string>& env = {}) {
    const std::string config = compositor.file("pane-config");
    std::filesystem::create_directories(config + "/zorvan");
    std::ofstream(config + "/zorvan/Zorvan.conf") << SETTINGS;
    ChildSetup setup;
    setup.env = {"GDK_BACKEND", "NO_AT_BRIDGE=1", "GSETTINGS_BACKEND=memory", "GIO_USE_VFS=local",
                 "XDG_CONFIG_HOME=" + config};
    setup.env.insert(setup.env.end(), env.begin(), env.end());
    setup.errPath = compositor.file("pane.err");
    std::vector<std::string> args = {"--settings", "--seed", "5", "--mode", "0"};
    if (!whole) args.insert(args.end(), {"--prefs", config + "/zorvan/Zorvan.conf"});
    return compositor.startClient(zorvanPath(), args, setup);
}

bool isLight(const unsigned char* p) { return p[0] > 200 && p[1] > 200 && p[2] > 200; }
bool isBlack(const unsigned char* p) { return !isLit(p); }

// The box of the rows that hold a hundred pixels or more that `counts` accepts and, across
// those rows, of the columns that hold fifty or more: a large area of such pixels, not
// text or the pointer.
Box largeArea(const Shot& shot, const PixelTest& counts) {
    Box box{shot.width, shot.height, 0, 0};
    std::vector<long> columns(shot.width, 0);
    for (size_t y = 0; y < shot.height; ++y) {
        long row = 0;
        for (size_t x = 0; x < shot.width; ++x) row += counts(shot.at(x, y));
        if (row < 100) continue;
        box.top = std::min(box.top, y);
        box.bottom = y + 1;
        for (size_t x = 0; x < shot.width; ++x) columns[x] += counts(shot.at(x, y));
    }
    for (size_t x = 0; x < shot.width; ++x) {
        if (columns[x] < 50) continue;
        box.left = std::min(box.left, x);
        box.right = x + 1;
    }
    return box.right ? box : Box{};
}

// The pane's preview in a picture of the desktop: the large black area inside the
// window's (the theme's light grey).
Box previewBox(const Shot& shot) {
    const Box window = largeArea(shot, isLight);
    if (window.right == 0) return {};
    const Box inside = largeArea(part(shot, window), isBlack);
    if (inside.right == 0) return {};
    return {window.left + inside.left, window.top + inside.top, window.left + inside.right, window.top + inside.bottom};
}

struct Preview {
    Box box;
    double lit = 0;  // the mean of three pictures
    Shot last;
};

// Waits until the preview shows motes in the same place in two pictures running (mutter
// zooms a new window in); then reads its lit pixels from three pictures.
Preview previewOn(const std::function<Shot()>& take) {
    Preview p;
    waitUntil([&] {
        const Box before = p.box;
        p.last = take();
        p.box = previewBox(p.last);
        return p.box.right && p.box == before && litPixels(p.last, p.box) > 200;
    }, 20, 0.3);
    if (!p.box.right) return p;
    for (int i = 0; i < 3; ++i) {
        settle(0.2);
        p.last = take();
        p.lit += double(litPixels(p.last, previewBox(p.last))) / 3;
    }
    return p;
}

// A preview of 480x270 points on a scale-2 output: 960x540 pixels, in 2x2 blocks that
// differ (not a half-size frame scaled up), and motes with hard edges.
void expectFullResolutionAtScale2(const Shot& preview) {
    EXPECT_EQ(preview.width, 960u);
    EXPECT_EQ(preview.height, 540u);
    EXPECT_GT(mixedBlocks(preview), 200) << "drawn at half the resolution and scaled up";
    EXPECT_LT(softPixels(preview), litPixels(preview) / 100) << "the motes were not drawn at 960x540";
}

// The accessibility test's Wayland steps, as a client of `compositor`, with or without
// the idle daemon's switch; skips the test where AT-SPI's tools are missing.
void expectDrivenThroughAccessibility(HeadlessCompositor& compositor, bool daemon = true) {
    std::vector<std::string> args = {std::string(ZORVAN_SOURCE_DIR) + "/tests/host/settings_through_accessibility.py",
                                     zorvanPath(), "--wayland"};
    if (!daemon) args.push_back("--no-daemon");
    const ProcessResult run =
        compositor.runClient("/usr/bin/python3", args,
                             240, {"GDK_BACKEND", "ZORVAN_STOP_LIMIT=" + std::to_string(STOP_LIMIT)});
    if (run.exitCode == 77) GTEST_SKIP() << run.out;
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
}

}  // namespace

// On sway without XWayland the pane is an xdg-shell window whose preview is 480x270 at
// scale 1; moved to a scale-2 output it draws 960x540 pixels of its own: about four
// times the lit pixels, at that resolution.
TEST(PaneOnSway, NativeAtEachOutputsScale) {
    HeadlessSway sway;
    if (!sway.available()) GTEST_SKIP() << sway.why();
    // The scale-2 output large enough for the whole pane: 1000x800 points.
    ASSERT_EQ(sway.swaymsg({"output", "HEADLESS-2", "mode", "2000x1600"}).exitCode, 0);
    const int pid = startPane(sway, true);
    ASSERT_GT(pid, 0);
    const std::string pidCriteria = "[pid=" + std::to_string(pid) + "]";
    const Preview one = previewOn([&] { return sway.outputShot("HEADLESS-1"); });
    ASSERT_TRUE(one.box.right) << readFile(sway.file("pane.err")) << sway.log();
    EXPECT_EQ(one.box.width(), 480u);
    EXPECT_EQ(one.box.height(), 270u);
    const std::string tree = sway.swaymsg({"-t", "get_tree"}).out;
    EXPECT_NE(tree.find("\"shell\": \"xdg_shell\""), std::string::npos) << tree;

    ASSERT_EQ(sway.swaymsg({pidCriteria, "move", "container", "to", "output", "HEADLESS-2"}).exitCode, 0);
    ASSERT_EQ(sway.swaymsg({pidCriteria, "move", "position", "center"}).exitCode, 0);
    // Focused, with a keyboard (a key that does nothing), the pane is drawn as active.
    ASSERT_EQ(sway.swaymsg({pidCriteria, "focus"}).exitCode, 0);
    ASSERT_TRUE(sway.key("Shift_L")) << sway.error();
    const Preview two = previewOn([&] { return sway.outputShot("HEADLESS-2"); });
    ASSERT_TRUE(two.box.right);
    EXPECT_GT(two.lit, 3.0 * one.lit) << one.lit << " lit pixels at scale 1, " << two.lit << " at 2";
    EXPECT_LT(two.lit, 5.0 * one.lit) << one.lit << " lit pixels at scale 1, " << two.lit << " at 2";
    expectFullResolutionAtScale2(part(two.last, two.box));
    writeShot(part(two.last, boxOf(two.last, [](const unsigned char* p) { return isLit(p); })),
              shotFile("pane-sway-2"));
    EXPECT_EQ(paneLines(readFile(sway.file("pane.err"))), 0) << readFile(sway.file("pane.err"));
    expectPromptStop(pid, "the pane");
}

// On a workspace that is not shown sway asks for no frames: the pane draws nothing and
// takes next to no CPU; back on the shown one, it draws again.
TEST(PaneOnSway, RestsWhileItsWorkspaceIsHidden) {
    HeadlessSway sway;
    if (!sway.available()) GTEST_SKIP() << sway.why();
    const int pid = startPane(sway, false);
    ASSERT_GT(pid, 0);
    const std::string pidCriteria = "[pid=" + std::to_string(pid) + "]";
    ASSERT_TRUE(sway.waitForLit("HEADLESS-1", MOTES, 15)) << readFile(sway.file("pane.err"));
    const double seen = cpuOver(pid, 1.0);
    ASSERT_EQ(sway.swaymsg({pidCriteria, "move", "container", "to", "workspace", "hidden"}).exitCode, 0);
    ASSERT_TRUE(sway.waitUntilBlack(5)) << "the pane's workspace is still shown";
    settle(0.5);
    const double hidden = cpuOver(pid, 2.0);
    EXPECT_LT(hidden, 0.04) << "seen, the pane took " << seen << " s a second";
    EXPECT_GT(seen, 4 * hidden);
    ASSERT_EQ(sway.swaymsg({"workspace", "hidden"}).exitCode, 0);
    EXPECT_TRUE(sway.waitForLit("HEADLESS-1", MOTES, 10)) << "the pane does not draw again";
    expectPromptStop(pid, "the pane");
}

TEST(PaneOnSway, DrivenThroughTheAccessibilityTree) {
    HeadlessSway sway;
    if (!sway.available()) GTEST_SKIP() << sway.why();
    expectDrivenThroughAccessibility(sway);
}

// Without OpenGL (no EGL vendor library) the pane opens all the same, without a
// preview, and says why in one line.
TEST(PaneOnSway, WithoutOpenGLThePaneOpensWithoutAPreview) {
    HeadlessSway sway;
    if (!sway.available()) GTEST_SKIP() << sway.why();
    const int pid = startPane(sway, true, {"__EGL_VENDOR_LIBRARY_FILENAMES=/nonexistent.json"});
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(waitUntil([&] { return sway.swaymsg({"-t", "get_tree"}).out.find("\"Zorvan\"") != std::string::npos; },
                          15, 0.2))
        << readFile(sway.file("pane.err"));
    const std::string err = readFile(sway.file("pane.err"));
    EXPECT_EQ(err.rfind("zorvan: no preview: ", 0), 0u) << err;
    EXPECT_EQ(paneLines(err), 1) << err;
    expectPromptStop(pid, "the pane without a preview");
}

// On labwc (Debian 13 on) the pane opens with no X display, its preview 480x270 with
// motes.
TEST(PaneOnLabwc, Native) {
    HeadlessLabwc labwc;
    if (!labwc.available()) GTEST_SKIP() << labwc.why();
    const int pid = startPane(labwc, false);
    ASSERT_GT(pid, 0);
    const Preview p = previewOn([&] { return labwc.outputShot("HEADLESS-1"); });
    ASSERT_TRUE(p.box.right) << readFile(labwc.file("pane.err")) << labwc.log();
    EXPECT_EQ(p.box.width(), 480u);
    EXPECT_EQ(p.box.height(), 270u);
    expectPromptStop(pid, "the pane");
}

// A Wayland display that cannot be reached, and no X display: one line that names both.
TEST(PaneOnWayland, WithoutADisplayOneLineNamesBoth) {
    TempDir runtime;
    ChildSetup setup;
    setup.env = {"WAYLAND_DISPLAY=wayland-nowhere", "XDG_RUNTIME_DIR=" + runtime.path(), "DISPLAY", "GDK_BACKEND"};
    const ProcessResult r = runChild(zorvanPath(), {"--settings"}, setup);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err, "zorvan: no Wayland display wayland-nowhere and no X display for the settings pane "
                     "(DISPLAY is not set)\n");
}

// At 1.5 GTK 3 draws the window at 2 and KWin scales it to the output: the preview is
// 720x405 pixels of the output with motes, and the pane is driven as on sway.
TEST(PaneOnKwin, NativeAtScale1_5) {
    HeadlessKwin kwin(1280, 720, 1.5);
    if (!kwin.available()) GTEST_SKIP() << kwin.why();
    const int pid = startPane(kwin, false);
    ASSERT_GT(pid, 0);
    const Preview p = previewOn([&] { return kwin.screenshot(); });
    ASSERT_TRUE(p.box.right) << kwin.error() << readFile(kwin.file("pane.err")) << kwin.log();
    EXPECT_NEAR(double(p.box.width()), 720.0, 1.0);
    EXPECT_NEAR(double(p.box.height()), 405.0, 1.0);
    writeShot(p.last, shotFile("pane-kwin-1.5"));
    expectPromptStop(pid, "the pane");
    expectDrivenThroughAccessibility(kwin);
}

// On mutter (no XWayland: --no-x11), opened on a scale-2 output, the pane draws its own
// title bar (GTK's) and its preview is 960x540 pixels drawn at that resolution; it is
// driven as on sway but for the idle daemon, which would watch mutter through mutter's
// session bus, not the test's own.
TEST(PaneOnMutter, FullResolutionAtScale2AndDriven) {
    if (const std::string tool = HeadlessMutter::missing(); !tool.empty()) GTEST_SKIP() << tool << " is not installed";
    HeadlessMutter mutter(true);
    if (!mutter.available()) GTEST_SKIP() << mutter.why();
    // A new window opens on the output with the pointer; the pointer then leaves it.
    ASSERT_TRUE(mutter.moveTo(2 * HeadlessMutter::OUTPUT_WIDTH, HeadlessMutter::OUTPUT_HEIGHT)) << mutter.error();
    const int pid = startPane(mutter, false);
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(waitUntil([&] { return previewBox(HeadlessMutter::output(mutter.screenshot(), 1)).right > 0; }, 20, 0.3))
        << readFile(mutter.file("pane.err")) << mutter.log();
    ASSERT_TRUE(mutter.moveTo(HeadlessMutter::OUTPUT_WIDTH / 2, HeadlessMutter::OUTPUT_HEIGHT / 2)) << mutter.error();
    const Preview p = previewOn([&] { return HeadlessMutter::output(mutter.screenshot(), 1); });
    ASSERT_TRUE(p.box.right);
    expectFullResolutionAtScale2(part(p.last, p.box));
    // The window for people to look at: its light frame around the preview, title bar too.
    writeShot(part(p.last, largeArea(p.last, isLight)), shotFile("pane-gnome-2"));
    expectPromptStop(pid, "the pane");
    expectDrivenThroughAccessibility(mutter, false);
}
