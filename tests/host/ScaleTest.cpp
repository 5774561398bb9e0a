// Pixels per point: a view at scale s is the scene of a screen 1/s the size, drawn at
// its full resolution; windows choose 2 beyond 2560 pixels and 1 elsewhere.
#include "host/Process.h"
#include "host/TwoMonitorDisplay.h"

// GoogleTest before Xlib: Xlib's macros (None, Bool) would break its headers.
#include <Magick++.h>
#include <gtest/gtest.h>

#include "support/XPixels.h"

#include <X11/Xlib.h>
#include <signal.h>

#include <chrono>
#include <fstream>
#include <thread>

using namespace zorvan;

using test::litPixels;
using test::readShot;

namespace {

struct Render {
    std::string png, dump;
};

// A render of `frames` frames at `size` with tails on, seeded alike every time.
Render render(const test::TempDir& dir, const std::string& name, const std::string& size, long frames,
              const std::vector<std::string>& extra) {
    Render r{dir.file(name + ".png"), dir.file(name + ".dump")};
    std::vector<std::string> args = {"--prefs", dir.file("Zorvan.conf"), "--render", r.png, "--size", size,
                                     "--frames", std::to_string(frames), "--seed", "11", "--tails",
                                     "--mode", "2", "--dump-motes", r.dump};
    args.insert(args.end(), extra.begin(), extra.end());
    const auto result = test::runProcess(test::zorvanPath(), args, {}, 120.0);
    EXPECT_EQ(result.exitCode, 0) << name << ": " << result.err;
    return r;
}

}  // namespace

TEST(Scale, RenderAtTwoIsTheSceneOfHalfTheSizeAtFullResolution) {
    test::TempDir dir;
    for (const char* logo : {"default", "none"}) {
        SCOPED_TRACE(logo);
        const Render uhd = render(dir, std::string("uhd-") + logo, "3840x2160", 200, {"--scale", "2", "--logo", logo});
        const Render hd = render(dir, std::string("hd-") + logo, "1920x1080", 200, {"--logo", logo});
        // The points are the module's whole world: the same motes, to the bit.
        EXPECT_EQ(test::readFile(uhd.dump), test::readFile(hd.dump));

        Magick::Image big(uhd.png), small(hd.png);
        ASSERT_EQ(big.columns(), 3840u);
        ASSERT_EQ(big.rows(), 2160u);
        const double ratio = double(litPixels(readShot(uhd.png))) / double(litPixels(readShot(hd.png)));
        EXPECT_GT(ratio, 3.0) << "the motes are not drawn at twice the size";
        EXPECT_LT(ratio, 5.0);
        // Halved, the frame is the 1080p frame, up to the edges that the finer pixels
        // place more exactly.
        big.filterType(Magick::BoxFilter);
        big.resize(Magick::Geometry(1920, 1080));
        EXPECT_LT(big.compare(small, Magick::RootMeanSquaredErrorMetric), 0.06);
    }

    // A fractional scale likewise: 1920x1080 pixels at 1.5 are the 1280x720 points of a
    // screen at 1, the same motes to the bit, at the full resolution.
    const Render fractional = render(dir, "fractional", "1920x1080", 200, {"--scale", "1.5"});
    const Render points = render(dir, "points", "1280x720", 200, {});
    EXPECT_EQ(test::readFile(fractional.dump), test::readFile(points.dump));
    const Magick::Image fine(fractional.png);
    EXPECT_EQ(fine.columns(), 1920u);
    EXPECT_EQ(fine.rows(), 1080u);
    const double area = double(litPixels(readShot(fractional.png))) / double(litPixels(readShot(points.png)));
    EXPECT_GT(area, 1.6) << "the motes are not drawn at 1.5 times the size";
    EXPECT_LT(area, 2.9);

    // At one pixel a point a 4K frame is a bigger screen with motes of the same size.
    const test::Shot one = readShot(render(dir, "uhd-1", "3840x2160", 1, {"--scale", "1"}).png);
    const test::Shot hd = readShot(render(dir, "hd-1", "1920x1080", 1, {}).png);
    const double ratio = double(litPixels(one)) / double(litPixels(hd));
    EXPECT_GT(ratio, 0.8);
    EXPECT_LT(ratio, 1.25);
}

namespace {

// The lit pixels of the area while `args` runs on the display: the mean of a few reads
// once frames show.
double litWhileRunning(const test::TwoMonitorDisplay& x, const test::TempDir& dir, std::vector<std::string> args,
                       int w, int h, const std::vector<std::string>& env = {}) {
    for (const char* a : {"--seed", "3", "--mode", "0", "--prefs"}) args.push_back(a);
    args.push_back(dir.file("Zorvan.conf"));
    const int pid = test::startProcess(test::zorvanPath(), args, env);
    EXPECT_GT(pid, 0);
    EXPECT_TRUE(x.waitForLit(0, 0, w, h, 500, 20)) << args[0];
    // Past the start (a full-screen fade, the first clear of a root window).
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    double sum = 0;
    for (int i = 0; i < 3; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        sum += double(x.litPixels(0, 0, w, h));
    }
    kill(pid, SIGTERM);
    EXPECT_EQ(test::waitProcess(pid, 10), 0);
    return sum / 3;
}

}  // namespace

TEST(ScaleOnX11, WindowsBeyond2560PixelsDrawTwoPixelsAPoint) {
    test::TempDir dir;
    std::ofstream(dir.file("Zorvan.conf")) << "[Zorvan]\n";
    {
        test::TwoMonitorDisplay uhd(3840, 2160);
        if (!uhd.ok()) GTEST_SKIP() << uhd.why();
        for (const char* form : {"--root", "--fullscreen"}) {
            SCOPED_TRACE(form);
            const double chosen = litWhileRunning(uhd, dir, {form}, 3840, 2160, {"XSCREENSAVER_WINDOW"});
            const double one = litWhileRunning(uhd, dir, {form, "--scale", "1"}, 3840, 2160, {"XSCREENSAVER_WINDOW"});
            EXPECT_GT(chosen, 2.5 * one) << "a 4K screen chose " << chosen << " lit pixels against " << one;
        }

        // A settings program's preview stays at one pixel a point.
        Display* d = uhd.display();
        const Window preview = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 480, 270, 0, 0, 0);
        XMapWindow(d, preview);
        XSync(d, False);
        const std::string id = test::hexId(preview);
        const double small = litWhileRunning(uhd, dir, {"--window-id", id}, 480, 270);
        const double two = litWhileRunning(uhd, dir, {"--window-id", id, "--scale", "2"}, 480, 270);
        EXPECT_LT(small * 2.0, two) << "the preview did not stay at one pixel a point";
        XDestroyWindow(d, preview);
        XSync(d, False);

        // A window resized across 2560 pixels is seeded again at two pixels a point.
        const int pid = test::startProcess(test::zorvanPath(), {"--window", "--size", "2000x1000", "--seed", "3",
                                                                "--mode", "0", "--prefs", dir.file("Zorvan.conf")});
        const Window window = test::windowOf(d, pid);
        ASSERT_NE(window, 0u);
        ASSERT_TRUE(uhd.waitForLit(0, 0, 2000, 1000, 500, 20));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        const long before = uhd.litPixels(0, 0, 3000, 1000);
        XResizeWindow(d, window, 3000, 1000);
        XSync(d, False);
        std::this_thread::sleep_for(std::chrono::milliseconds(800));
        const long after = uhd.litPixels(0, 0, 3000, 1000);
        EXPECT_GT(after, 2.5 * double(before)) << before << " lit pixels before, " << after << " after";
        kill(pid, SIGTERM);
        EXPECT_EQ(test::waitProcess(pid, 10), 0);
    }

    // At 1920 x 1080 the screen is drawn at one pixel a point.
    test::TwoMonitorDisplay hd(1920, 1080);
    if (!hd.ok()) GTEST_SKIP() << hd.why();
    const double chosen = litWhileRunning(hd, dir, {"--root"}, 1920, 1080, {"XSCREENSAVER_WINDOW"});
    const double one = litWhileRunning(hd, dir, {"--root", "--scale", "1"}, 1920, 1080, {"XSCREENSAVER_WINDOW"});
    EXPECT_GT(chosen, 0.7 * one);
    EXPECT_LT(chosen, 1.4 * one);
}
