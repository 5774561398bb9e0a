// The program as a native Wayland client of GNOME's compositor: a private mutter (nested
// in an Xvfb, or headless where mutter no longer nests) with two outputs, the first of
// 800x600 real pixels, the second at scale 2. Mutter offers no layer shell and no
// server-side decorations: the saver is a full-screen toplevel per output and the window
// draws its own title bar. Mutter draws through llvmpipe here, so each test starts it
// once. Skipped where mutter or the tools that reach it are not installed.
#include "support/HeadlessMutter.h"
#include "support/WaylandRuns.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <string>

using namespace zorvan;
using namespace zorvan::test;

namespace {

#define START_MUTTER(mutter)                                                                 \
    if (const std::string tool = test::HeadlessMutter::missing(); !tool.empty())             \
        GTEST_SKIP() << tool << " is not installed";                                          \
    test::HeadlessMutter mutter;                                                             \
    ASSERT_TRUE(mutter.available()) << mutter.why()

using test::HeadlessMutter;

using test::blackBox;
using test::motes;

// Waits until output `index` shows motes on black; the last shot in `last` when given.
bool waitForMotes(HeadlessMutter& mutter, int index, double seconds, test::Shot* last = nullptr) {
    return mutter.waitFor([index](const test::Shot& s) { return motes(HeadlessMutter::output(s, index)) >= MOTES; },
                          seconds, last);
}

int difference(const unsigned char* a, const unsigned char* b) {
    return std::max({std::abs(a[0] - b[0]), std::abs(a[1] - b[1]), std::abs(a[2] - b[2])});
}

// What a window draws above its black: the rows straight above the black box, as wide as
// it, that are lit and changed from the bare desktop in nearly every pixel; among them the
// pixels that stand out from the bar's own colour (text and button glyphs) in the middle
// half (the title) and in the last CLOSE_COLUMNS (the close button, rightmost), with the
// centre of the latter.
struct TitleBar {
    static constexpr size_t CLOSE_COLUMNS = 24;
    size_t rows = 0;
    long title = 0, close = 0;
    int closeX = 0, closeY = 0;
};

TitleBar titleBar(const test::Shot& window, const test::Shot& desktop, const Box& box) {
    TitleBar bar;
    std::map<unsigned long, long> colours;
    for (size_t y = box.top; y-- > 0;) {
        size_t changed = 0;
        for (size_t x = box.left; x < box.right; ++x)
            changed += isLit(window.at(x, y)) && difference(window.at(x, y), desktop.at(x, y)) > 24;
        if (changed < box.width() * 95 / 100) break;
        ++bar.rows;
        for (size_t x = box.left; x < box.right; ++x) {
            const unsigned char* p = window.at(x, y);
            ++colours[(unsigned long)p[0] << 16 | p[1] << 8 | p[2]];
        }
    }
    if (!bar.rows) return bar;
    const unsigned long common =
        std::max_element(colours.begin(), colours.end(), [](auto& a, auto& b) { return a.second < b.second; })->first;
    const unsigned char base[3] = {(unsigned char)(common >> 16), (unsigned char)(common >> 8), (unsigned char)common};
    long sumX = 0, sumY = 0;
    for (size_t y = box.top - bar.rows; y < box.top; ++y)
        for (size_t x = box.left; x < box.right; ++x) {
            if (difference(window.at(x, y), base) <= 96) continue;
            if (x >= box.left + box.width() / 4 && x < box.right - box.width() / 4) ++bar.title;
            if (x + TitleBar::CLOSE_COLUMNS >= box.right) {
                ++bar.close;
                sumX += long(x);
                sumY += long(y);
            }
        }
    if (bar.close) {
        bar.closeX = int(sumX / bar.close);
        bar.closeY = int(sumY / bar.close);
    }
    return bar;
}

}  // namespace

// A plain run is a window with motes under a title bar of its own, with the title and a
// close button that ends the run with 0; SIGTERM ends it at once. --wallpaper is refused
// (no layer shell) and swayidle quits (no idle protocol). The compositor dying under a
// run ends it with 1 and one line.
TEST(Gnome, WindowDrawsItsTitleBarAndGoesWithTheCompositor) {
    START_MUTTER(mutter);
    ASSERT_TRUE(mutter.moveTo(400, 300)) << mutter.error();  // mutter opens windows where the pointer is
    const test::Shot desktop = mutter.screenshot();
    int pid = startZorvan(mutter, {"--size", "400x300"});
    test::Shot shot;
    ASSERT_TRUE(waitForMotes(mutter, 0, 15)) << mutter.log();
    // The same box in two pictures running: mutter zooms a new window in.
    Box box;
    test::waitUntil([&] {
        const Box before = box;
        shot = mutter.screenshot("gnome-window");
        box = blackBox(HeadlessMutter::output(shot, 0));
        return box.right && box == before;
    }, 5, 0.2);
    EXPECT_EQ(box.width(), 400u);
    EXPECT_EQ(box.height(), 300u);
    const TitleBar bar = titleBar(shot, desktop, box);
    EXPECT_GE(bar.rows, 16u) << "no title bar above the window";
    EXPECT_GE(bar.title, 30) << "no title in the title bar";
    EXPECT_GE(bar.close, 10) << "no close button at the title bar's end";
    if (bar.close >= 10) {
        ASSERT_TRUE(mutter.moveTo(bar.closeX, bar.closeY) && mutter.click()) << mutter.error();
        EXPECT_EQ(test::waitProcess(pid, 10.0), 0) << "the close button did not end the run";
    } else {
        kill(pid, SIGTERM);
        test::waitProcess(pid, 10.0);
    }

    ASSERT_TRUE(mutter.waitForDesktop(10));
    pid = startZorvan(mutter, {"--size", "400x300"});
    ASSERT_TRUE(waitForMotes(mutter, 0, 15)) << mutter.log();
    expectPromptStop(pid, "window");

    const auto wallpaper = mutter.runClient(test::zorvanPath(), {"--wallpaper"});
    EXPECT_EQ(wallpaper.exitCode, 2) << wallpaper.err;
    EXPECT_EQ(lines(wallpaper.err), 1) << wallpaper.err;
    expectNoIdleProtocol(mutter);

    ASSERT_TRUE(mutter.waitForDesktop(10));
    pid = startZorvan(mutter, {"--size", "400x300"}, "orphan.err");
    ASSERT_TRUE(waitForMotes(mutter, 0, 15)) << mutter.log();
    expectEndsWithCompositor(mutter, pid, "orphan.err");
}

// The saver covers both outputs, the scale-2 one at its full resolution; pointer motion
// within the slack leaves it, motion beyond it and a key end it with 0, SIGTERM at once.
// An output that goes leaves it running on the other.
TEST(Gnome, SaverCoversBothOutputsAndOutlivesOne) {
    START_MUTTER(mutter);
    ASSERT_TRUE(mutter.moveTo(300, 200)) << mutter.error();
    int pid = startZorvan(mutter, {"--fullscreen"});
    test::Shot shot;
    ASSERT_TRUE(waitForMotes(mutter, 0, 15)) << mutter.log();
    ASSERT_TRUE(waitForMotes(mutter, 1, 15, &shot)) << mutter.log();
    shot = mutter.screenshot("gnome-fullscreen");
    const test::Shot scaled = HeadlessMutter::output(shot, 1);
    EXPECT_LT(softPixels(scaled), motes(scaled) / 100) << "the motes on the scale-2 output are not at its resolution";
    EXPECT_TRUE(running(pid)) << "the scale-2 output ended the run";
    ASSERT_TRUE(mutter.move(4, -3)) << mutter.error();  // within the slack
    settle(0.5);
    EXPECT_TRUE(running(pid)) << "motion within the slack ended the run";
    ASSERT_TRUE(mutter.move(40, 0)) << mutter.error();
    EXPECT_EQ(test::waitProcess(pid, 10.0), 0);

    ASSERT_TRUE(mutter.waitForDesktop(10));
    pid = startZorvan(mutter, {"--fullscreen"});
    ASSERT_TRUE(waitForMotes(mutter, 0, 15) && waitForMotes(mutter, 1, 15)) << mutter.log();
    ASSERT_TRUE(mutter.key("space")) << mutter.error();
    EXPECT_EQ(test::waitProcess(pid, 10.0), 0);

    ASSERT_TRUE(mutter.waitForDesktop(10));
    pid = startZorvan(mutter, {"--fullscreen"});
    ASSERT_TRUE(waitForMotes(mutter, 0, 15) && waitForMotes(mutter, 1, 15)) << mutter.log();
    expectPromptStop(pid, "--fullscreen");

    // Last: the second output cannot come back at scale 2 (nested, mutter allows it only on
    // larger modes).
    ASSERT_TRUE(mutter.waitForDesktop(10));
    pid = startZorvan(mutter, {"--fullscreen"});
    ASSERT_TRUE(waitForMotes(mutter, 0, 15) && waitForMotes(mutter, 1, 15)) << mutter.log();
    const test::Shot before = HeadlessMutter::output(mutter.screenshot(), 0);
    ASSERT_TRUE(mutter.removeOutput()) << mutter.error();
    // Nested mutter moves its pointer to the surface now under it on its next X event; a
    // nudge within the slack brings that.
    ASSERT_TRUE(mutter.move(1, 0)) << mutter.error();
    const bool drawing = mutter.waitFor(
        [&](const test::Shot& s) {
            const test::Shot now = HeadlessMutter::output(s, 0);
            return motes(now) >= MOTES && now.rgb != before.rgb;
        },
        5);
    settle(0.5);
    EXPECT_TRUE(running(pid)) << "the output that went ended the run";
    EXPECT_TRUE(drawing) << "the other output shows no fresh motes";
    mutter.screenshot("gnome-fullscreen-one-output");
}
