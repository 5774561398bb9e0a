// The program as a native Wayland client of a private headless cage, the kiosk: one
// output of 1280x720 at scale 1, every toplevel maximised over it. Cage offers no layer
// shell (so the saver is a toplevel set full screen, and there is no wallpaper); its
// idle protocol lets swayidle start the saver, and from 0.2 on its virtual keyboard
// lets the tests type. Skipped where cage is not installed.
#include "support/HeadlessCage.h"
#include "support/WaylandRuns.h"

#include <gtest/gtest.h>

using namespace zorvan;
using namespace zorvan::test;

#define START_CAGE(cage)     \
    test::HeadlessCage cage; \
    if (!cage.available()) GTEST_SKIP() << cage.why()

// The wallpaper is refused plainly; a window of any size, and the saver, fill the output
// with motes; SIGTERM ends each at once; cage going away under a running window ends it
// with 1 and one line, at once.
TEST(Cage, WindowAndSaverFillTheOutputAndEnd) {
    START_CAGE(cage);
    const auto wallpaper = cage.runClient(test::zorvanPath(), {"--wallpaper"});
    EXPECT_EQ(wallpaper.exitCode, 2) << wallpaper.err;
    EXPECT_EQ(lines(wallpaper.err), 1) << wallpaper.err;

    auto fillsTheOutput = [&](const std::vector<std::string>& args, const std::string& name) {
        const int pid = startZorvan(cage, args, name + ".err");
        ASSERT_TRUE(cage.waitForLit(MOTES, 15))
            << name << ": " << cage.error() << test::readFile(cage.file(name + ".err"));
        EXPECT_TRUE(reachesEveryEdge(cage.screenshot(name))) << name << " does not fill the output";
        expectPromptStop(pid, name);
    };
    fillsTheOutput({"--size", "640x360"}, "cage-window");  // cage maximises it all the same
    fillsTheOutput({"--fullscreen"}, "cage-fullscreen");

    const int pid = startZorvan(cage, {}, "orphan.err");
    ASSERT_TRUE(cage.waitForLit(MOTES, 15)) << test::readFile(cage.file("orphan.err"));
    expectEndsWithCompositor(cage, pid, "orphan.err");
}

// With no input devices cage is idle from the start: swayidle starts the saver after a
// second, and it covers the output.
TEST(Cage, SwayidleStartsTheSaver) {
    START_CAGE(cage);
    test::ChildSetup setup;
    setup.ownGroup = true;  // swayidle, its shell and the saver go together at the end
    setup.errPath = cage.file("swayidle.log");
    const std::string command = test::zorvanPath() + " --fullscreen --seed 5";
    ASSERT_GT(cage.startClient("swayidle", {"-w", "timeout", "1", command}, setup), 0);
    ASSERT_TRUE(cage.waitForLit(MOTES, 15)) << test::readFile(cage.file("swayidle.log"));
    EXPECT_TRUE(reachesEveryEdge(cage.screenshot("cage-swayidle")));
}

// Typed keys: any key ends the saver with 0; a window takes q (Esc likewise) and no
// other key as its end. Skipped where cage offers no virtual keyboard (0.1.4).
TEST(Cage, KeysEndTheSaverAndQTheWindow) {
    if (const std::string tool = test::HeadlessCompositor::missing({"wtype"}); !tool.empty())
        GTEST_SKIP() << tool << " is not installed";
    START_CAGE(cage);
    int pid = startZorvan(cage, {"--fullscreen"}, "saver.err");
    ASSERT_TRUE(cage.waitForLit(MOTES, 15)) << test::readFile(cage.file("saver.err"));
    if (!cage.key("space")) {
        if (cage.error().find("does not support the virtual keyboard") != std::string::npos)
            GTEST_SKIP() << "this cage offers no virtual keyboard to type with";
        FAIL() << cage.error();
    }
    EXPECT_EQ(test::waitProcess(pid, 10.0), 0);

    pid = startZorvan(cage, {}, "window.err");
    ASSERT_TRUE(cage.waitForLit(MOTES, 15)) << test::readFile(cage.file("window.err"));
    ASSERT_TRUE(cage.key("space")) << cage.error();
    settle(0.3);
    EXPECT_TRUE(running(pid)) << "a key other than q or Esc ended the window";
    ASSERT_TRUE(cage.key("q")) << cage.error();
    EXPECT_EQ(test::waitProcess(pid, 10.0), 0);
}
