// What a view costs when nobody can see it: on each desktop the suite runs on, the CPU of
// a Zorvan wallpaper or window over SECONDS while seen, then over SECONDS while Zorvan's
// own saver (--fullscreen) covers it, and the ratio. X11 on a private Xvfb; sway, KWin,
// weston and GNOME's mutter headless, through the test suite's harness (as nobody when
// run as root). Desktops that are not installed are skipped.
//   build/bin/zorvan-unseen [SECONDS]      (default 10)
#include "host/Process.h"
#include "support/HeadlessKwin.h"
#include "support/HeadlessMutter.h"
#include "support/HeadlessSway.h"
#include "support/HeadlessWeston.h"
#include "support/TestSupport.h"
#include "support/WaylandRuns.h"

#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

using namespace zorvan::test;

namespace {

double seconds = 10.0;

// Measures `view` seen, then under the saver that `startSaver` starts.
void measure(const char* desktop, const char* what, int view, const std::function<int()>& startSaver) {
    settle(2.0);
    const double seen = cpuOver(view, seconds);
    const int saver = startSaver();
    settle(3.0);
    const double covered = cpuOver(view, seconds);
    std::printf("%-8s %-28s seen %6.2f s  covered %6.2f s  (%5.1f %%)%s\n", desktop, what, seen, covered,
                seen > 0 ? 100.0 * covered / seen : 0.0, running(saver) ? "" : "  [the saver did not run]");
    std::fflush(stdout);
    ::kill(saver, SIGTERM);
    ::kill(view, SIGTERM);
    waitProcess(saver, 10);
    waitProcess(view, 10);
}

void onCompositor(const char* desktop, HeadlessCompositor& compositor, bool wallpaper) {
    if (!compositor.available()) {
        std::printf("%-8s skipped: %s\n", desktop, compositor.why().c_str());
        return;
    }
    const int view = startZorvan(compositor, wallpaper ? std::vector<std::string>{"--wallpaper"}
                                                       : std::vector<std::string>{"--size", "640x400"});
    measure(desktop, wallpaper ? "wallpaper under the saver" : "window under the saver", view,
            [&] { return startZorvan(compositor, {"--fullscreen"}); });
}

void onX11() {
    TempDir dir("unseen");
    const std::string display = ":" + std::to_string(600 + getpid() % 300);
    const int server = startProcess("Xvfb", {display, "-screen", "0", "1280x720x24", "-nolisten", "tcp"}, {}, "/dev/null");
    settle(1.0);
    const std::vector<std::string> env = {"DISPLAY=" + display, "WAYLAND_DISPLAY", "XDG_RUNTIME_DIR=" + dir.path()};
    const int view = startProcess(zorvanPath(), {"--size", "640x400", "--seed", "1"}, env);
    measure("X11", "window under the saver", view,
            [&] { return startProcess(zorvanPath(), {"--fullscreen", "--seed", "2"}, env); });
    ::kill(server, SIGTERM);
    waitProcess(server, 5);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1) seconds = std::atof(argv[1]);
    if (!(seconds > 0.0)) seconds = 10.0;
    onX11();
    { HeadlessSway sway; onCompositor("sway", sway, true); }
    { HeadlessKwin kwin(1280, 720, 1); onCompositor("KWin", kwin, true); }
    { HeadlessWeston weston(1280, 720); onCompositor("weston", weston, false); }
    { HeadlessMutter mutter; onCompositor("mutter", mutter, false); }
    return 0;
}
