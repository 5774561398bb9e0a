// The program on every monitor and on windows that others own, on a private two-monitor
// X server: full screen, the gamma fade, --window-id, --root, signals and pacing.
#include "host/Process.h"
#include "host/TwoMonitorDisplay.h"

// GoogleTest before Xlib: Xlib's macros (None, Bool) would break its headers.
#include <gtest/gtest.h>

#include "support/XPixels.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xdamage.h>
#include <X11/extensions/Xrandr.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>

using namespace zorvan;
using test::TwoMonitorDisplay;
using test::hexId;
using test::secondsSince;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int HALF = TwoMonitorDisplay::MONITOR_WIDTH;

// The first CRTC's gamma ramp, red channel.
std::vector<unsigned short> redRamp(Display* d) {
    XRRScreenResources* r = XRRGetScreenResourcesCurrent(d, DefaultRootWindow(d));
    std::vector<unsigned short> ramp;
    if (r && r->ncrtc > 0) {
        if (XRRCrtcGamma* g = XRRGetCrtcGamma(d, r->crtcs[0])) {
            ramp.assign(g->red, g->red + g->size);
            XRRFreeGamma(g);
        }
    }
    if (r) XRRFreeScreenResources(r);
    return ramp;
}

// Gives the first CRTC a linear ramp, as a real display has; false when it keeps none.
bool setLinearRamp(Display* d) {
    XRRScreenResources* r = XRRGetScreenResourcesCurrent(d, DefaultRootWindow(d));
    if (!r || r->ncrtc < 1) return false;
    const int size = XRRGetCrtcGammaSize(d, r->crtcs[0]);
    if (size > 1) {
        XRRCrtcGamma* g = XRRAllocGamma(size);
        for (int i = 0; i < size; ++i)
            g->red[i] = g->green[i] = g->blue[i] = static_cast<unsigned short>(i * 65535 / (size - 1));
        XRRSetCrtcGamma(d, r->crtcs[0], g);
        XRRFreeGamma(g);
    }
    XRRFreeScreenResources(r);
    XSync(d, False);
    const auto ramp = redRamp(d);
    return size > 1 && !ramp.empty() && ramp.back() == 65535;
}

// A black window of the test's own, mapped.
Window blackWindow(Display* d, int x, int y, int w, int h) {
    const Window window = XCreateSimpleWindow(d, DefaultRootWindow(d), x, y, unsigned(w),
                                              unsigned(h), 0, 0, 0);
    XMapWindow(d, window);
    XSync(d, False);
    return window;
}

class ScreenProgram : public ::testing::Test {
protected:
    void SetUp() override {
        if (!x_.ok()) GTEST_SKIP() << x_.why();
        d_ = x_.display();
        writeStore("");
    }
    void writeStore(const std::string& lines) {
        std::ofstream(dir_.file("Zorvan.conf")) << "[Zorvan]\n" << lines;
    }
    int start(std::vector<std::string> args, const std::vector<std::string>& env = {},
              const std::string& errPath = "") {
        args.push_back("--prefs");
        args.push_back(dir_.file("Zorvan.conf"));
        return test::startProcess(test::zorvanPath(), args, env, errPath);
    }
    // Moves the pointer far: a full-screen run takes that as the user's return.
    void movePointer() {
        XWarpPointer(d_, 0, DefaultRootWindow(d_), 0, 0, 0, 0, 40, 40);
        XSync(d_, False);
        XWarpPointer(d_, 0, DefaultRootWindow(d_), 0, 0, 0, 0, 2000, 900);
        XSync(d_, False);
    }

    TwoMonitorDisplay x_;
    Display* d_ = nullptr;
    test::TempDir dir_;
};

}  // namespace

TEST_F(ScreenProgram, FullScreenCoversEveryMonitorAndMainScreenOnlyThePrimary) {
    int pid = start({"--fullscreen"});
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(x_.waitForLit(0, 0, HALF, 1024, 500, 15)) << "left monitor";
    EXPECT_TRUE(x_.waitForLit(HALF, 0, HALF, 1024, 500, 15)) << "right monitor";
    std::printf("screenshot: %s\n", x_.screenshot("fullscreen-two-monitors").c_str());
    movePointer();
    EXPECT_EQ(test::waitProcess(pid, 10), 0);

    // The right monitor is not the main one: its window stays black.
    writeStore("mainScreenOnly=true\n");
    pid = start({"--fullscreen"});
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(x_.waitForLit(0, 0, HALF, 1024, 500, 15)) << "left monitor";
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(x_.litPixels(HALF, 0, HALF, 1024), 0) << "right monitor";
    std::printf("screenshot: %s\n", x_.screenshot("fullscreen-main-screen-only").c_str());
    kill(pid, SIGTERM);
    EXPECT_EQ(test::waitProcess(pid, 10), 0);
}

TEST_F(ScreenProgram, GammaFadesAroundAFullScreenRunAndComesBackOnEveryWayOut) {
    if (!setLinearRamp(d_)) GTEST_SKIP() << "the server keeps no gamma ramps";
    const auto original = redRamp(d_);

    // SIGTERM in the middle of the fade to black.
    int pid = start({"--fullscreen"});
    ASSERT_GT(pid, 0);
    test::waitUntil([&] { return redRamp(d_).back() != original.back(); }, 5, 0.005);
    EXPECT_LT(redRamp(d_).back(), original.back()) << "no fade seen";
    kill(pid, SIGTERM);
    EXPECT_EQ(test::waitProcess(pid, 10), 0);
    EXPECT_EQ(redRamp(d_), original);

    // A whole run: after the fade the monitors show the motes at full gamma; the user's
    // return fades back to the same ramp.
    pid = start({"--fullscreen"});
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(x_.waitForLit(0, 0, HALF, 1024, 500, 15));
    EXPECT_EQ(redRamp(d_), original);
    movePointer();
    EXPECT_EQ(test::waitProcess(pid, 10), 0);
    EXPECT_EQ(redRamp(d_), original);
}

TEST_F(ScreenProgram, WindowIdIsDrawnAsThePreviewFollowsItsSizeAndEndsWithIt) {
    // Off the main monitor, where only a preview draws under mainScreenOnly.
    writeStore("mainScreenOnly=true\n");
    const Window w = blackWindow(d_, HALF + 100, 100, 300, 200);
    const int pid = start({"-window-id", hexId(w)});
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(x_.waitForLit(HALF + 100, 100, 300, 200, 100, 15));

    // Grown, it is drawn all over: the swarm was seeded afresh for the new size.
    XResizeWindow(d_, w, 600, 400);
    XSync(d_, False);
    EXPECT_TRUE(x_.waitForLit(HALF + 400, 300, 300, 200, 100, 15)) << "the grown part";

    XDestroyWindow(d_, w);
    XSync(d_, False);
    EXPECT_EQ(test::waitProcess(pid, 10), 0);

    const auto bad = test::runProcess(test::zorvanPath(), {"--window-id", "0x7ffff00"}, {}, 10);
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_NE(bad.err.find("0x7ffff00"), std::string::npos) << bad.err;
}

TEST_F(ScreenProgram, RootDrawsOnTheDaemonsWindowOnlyOnTheMainMonitorUnderMainScreenOnly) {
    writeStore("mainScreenOnly=true\n");
    const Window left = blackWindow(d_, 0, 0, HALF, 1024);
    const Window right = blackWindow(d_, HALF, 0, HALF, 1024);
    const int onLeft = start({"--root"}, {"XSCREENSAVER_WINDOW=" + hexId(left)});
    const int onRight = start({"-root"}, {"XSCREENSAVER_WINDOW=" + std::to_string(right)});
    ASSERT_GT(onLeft, 0);
    ASSERT_GT(onRight, 0);
    EXPECT_TRUE(x_.waitForLit(0, 0, HALF, 1024, 500, 15));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(x_.litPixels(HALF, 0, HALF, 1024), 0);
    // The declined one idles until it is told to go.
    EXPECT_EQ(waitpid(onRight, nullptr, WNOHANG), 0);
    kill(onLeft, SIGTERM);
    kill(onRight, SIGTERM);
    EXPECT_EQ(test::waitProcess(onLeft, 10), 0);
    EXPECT_EQ(test::waitProcess(onRight, 10), 0);

    // Without XSCREENSAVER_WINDOW: the root window, which spans both monitors.
    const auto root = test::runProcess(test::zorvanPath(),
                                       {"--root", "--frames", "3", "--prefs", dir_.file("Zorvan.conf")},
                                       {"XSCREENSAVER_WINDOW"}, 10);
    EXPECT_EQ(root.exitCode, 0) << root.err;

    setenv("XSCREENSAVER_WINDOW", "0xzz", 1);
    const auto bad = test::runProcess(test::zorvanPath(), {"--root"}, {}, 10);
    unsetenv("XSCREENSAVER_WINDOW");
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_NE(bad.err.find("XSCREENSAVER_WINDOW"), std::string::npos) << bad.err;
}

// What the daemon runs was configured earlier: a logo file that has gone since, or is
// no picture, is one warning, and the saver draws and ends as always.
TEST_F(ScreenProgram, RootDrawsWhenItsLogoFileHasGoneOrIsNoPicture) {
    std::ofstream(dir_.file("junk.png")) << "not a picture";
    const Window window = blackWindow(d_, 0, 0, HALF, 1024);
    for (const std::string& logo : {dir_.file("gone.png"), dir_.file("junk.png")}) {
        SCOPED_TRACE(logo);
        XClearWindow(d_, window);
        XSync(d_, False);
        const std::string err = dir_.file("err");
        const int pid = start({"--root", "--logo", logo}, {"XSCREENSAVER_WINDOW=" + hexId(window)}, err);
        ASSERT_GT(pid, 0);
        EXPECT_TRUE(x_.waitForLit(0, 0, HALF, 1024, 500, 15)) << "no motes";
        kill(pid, SIGTERM);
        EXPECT_EQ(test::waitProcess(pid, 10), 0);
        EXPECT_EQ(test::readFile(err), "zorvan: warning: cannot read the logo picture " + logo +
                                           "; the motes gather at the centre instead\n");
    }
}

// Only the settings pane loads the toolkit: no saver run maps a GTK, GDK, cairo or
// pango library, once it draws.
TEST_F(ScreenProgram, SaverRunsLoadNoToolkit) {
    const Window window = blackWindow(d_, 0, 0, HALF, 1024);
    const std::vector<std::vector<std::string>> forms = {
        {"--root"}, {"--fullscreen"}, {"--window"}, {"--render", dir_.file("out.png"), "--size", "64x64", "--frames", "100000000"}};
    for (const auto& form : forms) {
        SCOPED_TRACE(form[0]);
        const int pid = start(form, {"XSCREENSAVER_WINDOW=" + hexId(window)});
        ASSERT_GT(pid, 0);
        // Drawing: lit pixels on the screen, or the offscreen frames' CPU time.
        if (form[0] != "--render") {
            EXPECT_TRUE(x_.waitForLit(0, 0, 2 * HALF, 1024, 500, 15));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
        std::string line, libraries;
        while (std::getline(maps, line))
            for (const char* name : {"libgtk", "libgdk", "libcairo", "libpango"})
                if (line.find(name) != std::string::npos) libraries += line + "\n";
        EXPECT_EQ(libraries, "");
        kill(pid, SIGTERM);
        EXPECT_EQ(test::waitProcess(pid, 10), 0);
        XClearWindow(d_, window);
        XSync(d_, False);
    }
}

TEST_F(ScreenProgram, SignalsEndARunWithinATenthOfASecondAndAStopCausesNoBurst) {
    int damageEvent = 0, damageError = 0;
    if (!XDamageQueryExtension(d_, &damageEvent, &damageError)) GTEST_SKIP() << "no DAMAGE";
    const Window w = blackWindow(d_, 10, 10, 64, 48);
    // Every frame is one picture put on the window; the test counts them.
    XDamageCreate(d_, w, XDamageReportRawRectangles);
    XSync(d_, False);
    auto countFrames = [&](double seconds) { return test::damageFrames(d_, damageEvent, seconds); };

    countFrames(0.2);  // the window's own painting when it was mapped

    // The time from the signal to the exit.
    auto endBy = [&](int sig) -> double {
        const int pid = start({"--window-id", hexId(w)});
        if (pid <= 0) return -1;
        // Once the window shows its frames, the run is under way (signals handled).
        const auto begin = Clock::now();
        long seen = 0;
        while (seen == 0 && secondsSince(begin) < 15) seen += countFrames(0.05);
        kill(pid, sig);
        const auto sent = Clock::now();
        int status = 0;
        while (waitpid(pid, &status, WNOHANG) == 0 && secondsSince(sent) < 10)
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        const double took = secondsSince(sent);
        countFrames(0.2);  // the last frames, before the next run
        EXPECT_TRUE(seen > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << "signal " << sig << ": status " << std::hex << status << std::dec;
        return took;
    };
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
        // A second try where a busy machine held the first one up.
        double took = endBy(sig);
        if (took > 0.1) took = std::min(took, endBy(sig));
        EXPECT_LE(took, 0.1) << "signal " << sig;
    }

    const int pid = start({"--window-id", hexId(w)});
    ASSERT_GT(pid, 0);
    const auto begin = Clock::now();
    long seen = 0;
    while (seen == 0 && secondsSince(begin) < 15) seen += countFrames(0.05);
    const long normal = countFrames(1.0);
    EXPECT_GE(normal, 30);
    EXPECT_LE(normal, 90);
    kill(pid, SIGSTOP);
    countFrames(2.0);
    kill(pid, SIGCONT);
    const long after = countFrames(1.0);
    EXPECT_GE(after, 30);
    EXPECT_LE(after, 90) << "missed frames were run back to back";
    kill(pid, SIGTERM);
    EXPECT_EQ(test::waitProcess(pid, 10), 0);

    // --delay sets the interval: 50 ms, 20 frames a second.
    const int slow = start({"--window-id", hexId(w), "-delay", "50000"});
    ASSERT_GT(slow, 0);
    seen = 0;
    while (seen == 0 && secondsSince(begin) < 30) seen += countFrames(0.05);
    const long delayed = countFrames(1.0);
    EXPECT_GE(delayed, 10);
    EXPECT_LE(delayed, 30);
    kill(slow, SIGTERM);
    EXPECT_EQ(test::waitProcess(slow, 10), 0);
}

TEST_F(ScreenProgram, FpsShowsTheRateInTheLowerLeftCorner) {
    const Window w = blackWindow(d_, 0, 0, 400, 300);
    const int pid = start({"--window-id", hexId(w), "--fps"});
    ASSERT_GT(pid, 0);
    // Pure yellow: no mote has it (every mote colour has some blue).
    auto yellowIn = [&](int x, int y, int width, int height) {
        return test::pixelsOf(test::readPixels(d_, w, x, y, width, height), 0xFFFF00);
    };
    test::waitUntil([&] { return yellowIn(0, 270, 250, 30) >= 50; }, 10, 0.1);
    EXPECT_GE(yellowIn(0, 270, 250, 30), 50) << "the text at the bottom left";
    EXPECT_EQ(yellowIn(0, 0, 400, 200), 0) << "nothing elsewhere";
    kill(pid, SIGTERM);
    EXPECT_EQ(test::waitProcess(pid, 10), 0);
}

TEST_F(ScreenProgram, LosingTheDisplayIsOneLineAndStatusOne) {
    const Window w = blackWindow(d_, 10, 10, 64, 48);
    test::ProcessResult result;
    std::thread run([&] {
        result = test::runProcess(test::zorvanPath(),
                                  {"--window-id", hexId(w), "--prefs", dir_.file("Zorvan.conf")}, {}, 20);
    });
    EXPECT_TRUE(x_.waitForLit(10, 10, 64, 48, 10, 15));
    // The window outlives our connection, so only the server's end can end the run (a
    // window destroyed by its owner is a normal end, with status 0).
    XSetCloseDownMode(d_, RetainPermanent);
    XSync(d_, False);
    x_.stopServer();
    run.join();
    EXPECT_EQ(result.exitCode, 1) << result.err;
    EXPECT_EQ(test::lines(result.err), 1) << result.err;
    EXPECT_NE(result.err.find("display"), std::string::npos) << result.err;
}
