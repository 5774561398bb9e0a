// A window that nobody can see gets no frames: the program's CPU time while its window
// is seen, covered, seen again or unmapped, on a private X server without a window
// manager.
#include "host/Process.h"
#include "host/TwoMonitorDisplay.h"

// GoogleTest before Xlib: Xlib's macros (None, Bool) would break its headers.
#include <gtest/gtest.h>

#include "support/XPixels.h"

#include <X11/Xlib.h>
#include <signal.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <thread>

using namespace zorvan;

namespace {

// The CPU time of process `pid` over the next `seconds`, in clock ticks.
long ticksOver(int pid, double seconds) {
    return std::lround(test::cpuOver(pid, seconds) * double(sysconf(_SC_CLK_TCK)));
}

// Waits until `window` is mapped and shows motes.
bool drawn(Display* d, Window window) {
    return test::waitUntil(
        [&] {
            XWindowAttributes a;
            return XGetWindowAttributes(d, window, &a) && a.map_state == IsViewable &&
                   test::litPixels(test::readPixels(d, window, 0, 0, a.width, a.height)) >= 100;
        },
        30, 0.05);
}

// A window exactly over `window`, out of any window manager's hands; not yet mapped.
Window coverFor(Display* d, Window window) {
    XWindowAttributes a;
    XGetWindowAttributes(d, window, &a);
    int x = 0, y = 0;
    Window child = 0;
    XTranslateCoordinates(d, window, DefaultRootWindow(d), 0, 0, &x, &y, &child);
    XSetWindowAttributes set;
    set.override_redirect = True;
    set.background_pixel = BlackPixel(d, DefaultScreen(d));
    return XCreateWindow(d, DefaultRootWindow(d), x, y, unsigned(a.width), unsigned(a.height), 0, CopyFromParent,
                         InputOutput, CopyFromParent, CWOverrideRedirect | CWBackPixel, &set);
}

}  // namespace

TEST(WindowRest, AWindowNobodyCanSeeDrawsNothingUntilItShowsAgain) {
    test::TwoMonitorDisplay x(800, 600);
    if (!x.ok()) GTEST_SKIP() << x.why();
    Display* d = x.display();
    test::TempDir dir("rest");
    const std::string prefs = dir.file("Zorvan.conf");
    constexpr auto settle = std::chrono::milliseconds(500);

    // Its own window, covered by another one, then uncovered.
    int pid = test::startProcess(test::zorvanPath(), {"--size", "400x300", "--prefs", prefs});
    ASSERT_GT(pid, 0);
    const Window window = test::windowOf(d, pid);
    ASSERT_TRUE(window) << "no window";
    ASSERT_TRUE(drawn(d, window)) << "no frames";
    const long seen = ticksOver(pid, 2);
    const Window cover = coverFor(d, window);
    XMapRaised(d, cover);
    XSync(d, False);
    std::this_thread::sleep_for(settle);
    const long covered = ticksOver(pid, 2);
    XUnmapWindow(d, cover);
    XSync(d, False);
    const long back = ticksOver(pid, 1);
    std::printf("CPU ticks of a 400x300 window: %ld seen, %ld covered over 2 s; %ld over 1 s uncovered\n", seen,
                covered, back);
    EXPECT_GE(seen, 5) << "too little drawing to compare with";
    EXPECT_LE(covered * 10, seen);
    EXPECT_GT(back, covered);
    EXPECT_GE(back * 5, seen) << "the frames did not come back";
    kill(pid, SIGTERM);
    EXPECT_EQ(test::waitProcess(pid, 10), 0);

    // A window handed over with --window-id, which its owner unmaps.
    const Window owned = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 400, 300, 0, 0, 0);
    XMapWindow(d, owned);
    XSync(d, False);
    pid = test::startProcess(test::zorvanPath(), {"--window-id", test::hexId(owned), "--prefs", prefs});
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(drawn(d, owned)) << "no frames";
    const long shown = ticksOver(pid, 2);
    XUnmapWindow(d, owned);
    XSync(d, False);
    std::this_thread::sleep_for(settle);
    const long unmapped = ticksOver(pid, 2);
    std::printf("CPU ticks of a 400x300 --window-id window: %ld mapped, %ld unmapped over 2 s\n", shown, unmapped);
    EXPECT_GE(shown, 5) << "too little drawing to compare with";
    EXPECT_LE(unmapped * 10, shown);
    kill(pid, SIGTERM);
    EXPECT_EQ(test::waitProcess(pid, 10), 0);
}
