// What the settings pane costs with its preview running: the CPU of the pane's process
// over SECONDS, its resident memory (now and at its peak) and the preview's frames a
// second, on X11 (a private Xvfb, at GDK_SCALE 1 and 2) and as a Wayland client of a
// headless sway at scale 1 and 2, KWin and mutter at scale 1 (through the test suite's
// harness, as nobody when run as root). With BASELINE, another build's zorvan is measured
// on X11 beside this one (an earlier pane, drawn through GLX on an X child window, runs
// on X11 only).
//   build/bin/zorvan-pane-cost [SECONDS [BASELINE]]      (default 10 s)
// Frames: on X11 the DAMAGE notifications of the window the preview draws on; on Wayland
// the commits of the pane's surface in a run of its own under WAYLAND_DEBUG.
#include "host/Process.h"
#include "host/TwoMonitorDisplay.h"
#include "support/HeadlessKwin.h"
#include "support/HeadlessMutter.h"
#include "support/HeadlessSway.h"
#include "support/TestSupport.h"
#include "support/WaylandRuns.h"
#include "support/XPixels.h"

#include <X11/extensions/Xdamage.h>
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

using namespace zorvan::test;

namespace {

double seconds = 10.0;
const char SETTINGS[] = "[Zorvan]\n";  // the defaults: 1500 motes

void report(const char* where, const std::string& what, int pid, double cpu, double fps, double server) {
    std::printf("%-18s %-16s CPU %5.1f %%  resident %5.1f MiB (peak %5.1f)", where, what.c_str(), 100.0 * cpu / seconds,
                residentMiB(pid), peakMiB(pid));
    if (fps >= 0) std::printf("  frames %5.1f/s", fps);
    if (server >= 0) std::printf("  server CPU %5.1f %%", 100.0 * server / seconds);
    std::printf("\n");
    std::fflush(stdout);
}

// The window that the preview's frames land on: a descendant of the pane's window of the
// preview's size (an X child of its own), else the pane's window itself.
Window previewWindow(Display* display, Window window) {
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display, window, &root, &parent, &children, &count)) return window;
    Window found = 0;
    for (unsigned i = 0; i < count && !found; ++i) {
        XWindowAttributes a;
        if (XGetWindowAttributes(display, children[i], &a) && a.width == 480 && a.height == 270) found = children[i];
        else if (Window deeper = previewWindow(display, children[i]); deeper != children[i]) found = deeper;
    }
    if (children) XFree(children);
    return found ? found : window;
}

void onX11(const std::string& zorvan, const std::string& what, int scale) {
    TwoMonitorDisplay x(1280, 720);
    if (!x.ok()) {
        std::printf("X11 skipped: %s\n", x.why().c_str());
        return;
    }
    TempDir dir("pane-cost");
    std::ofstream(dir.file("Zorvan.conf")) << SETTINGS;
    const std::vector<std::string> env = {"DISPLAY=" + x.name(), "WAYLAND_DISPLAY", "XDG_RUNTIME_DIR=" + dir.path(),
                                          "GDK_SCALE=" + std::to_string(scale), "NO_AT_BRIDGE=1",
                                          "GSETTINGS_BACKEND=memory"};
    const int pid = startProcess(zorvan, {"--settings", "--prefs", dir.file("Zorvan.conf"), "--seed", "5"}, env);
    Display* d = x.display();
    const Window window = windowOf(d, pid, "Zorvan");
    if (!window) {
        std::printf("X11 %s: no pane window\n", what.c_str());
        return;
    }
    settle(2.0);
    int damageEvent = 0, damageError = 0;
    XDamageQueryExtension(d, &damageEvent, &damageError);
    XDamageCreate(d, previewWindow(d, window), XDamageReportRawRectangles);
    XSync(d, False);
    // The X server is this program's child.
    const int server = std::atoi(runProcess("pgrep", {"-P", std::to_string(getpid()), "Xvfb"}).out.c_str());
    const double before = cpuSeconds(pid), serverBefore = server > 0 ? cpuSeconds(server) : 0;
    const long frames = damageFrames(d, damageEvent, seconds);
    const double cpu = cpuSeconds(pid) - before, serverCpu = server > 0 ? cpuSeconds(server) - serverBefore : -1;
    report(("X11, GDK_SCALE " + std::to_string(scale)).c_str(), what, pid, cpu, double(frames) / seconds, serverCpu);
    ::kill(pid, SIGTERM);
    waitProcess(pid, 10);
}

// Commits of the pane's first surface a second, from a WAYLAND_DEBUG log, over its last
// `span` seconds.
double commitsPerSecond(const std::string& log, double span) {
    std::ifstream in(log);
    std::string line;
    std::vector<double> times;
    std::string surface;
    while (std::getline(in, line)) {
        // "[1234567.890]  -> wl_surface@17.commit()"
        const size_t at = line.find("-> wl_surface@"), commit = line.find(".commit()");
        if (at == std::string::npos || commit == std::string::npos) continue;
        const std::string id = line.substr(at + 3, commit - at - 3);
        if (surface.empty()) surface = id;
        if (id == surface) times.push_back(std::atof(line.c_str() + 1) / 1000.0);
    }
    if (times.size() < 2) return 0;
    const double end = times.back();
    long count = 0;
    for (double t : times) count += t > end - span;
    return double(count) / span;
}

// Where the pane is measured on a compositor, and what puts it there (false: it did
// not show).
struct Placement {
    const char* what;
    std::function<bool(int pid)> place;
};

// Where the compositor opens it, once it had time to start.
Placement opened() {
    return {"scale 1", [](int) {
                settle(2.0);
                return true;
            }};
}

// Moved to the middle of a sway output.
Placement onOutput(HeadlessSway& sway, const char* output, const char* what) {
    return {what, [&sway, output](int pid) {
                const std::string criteria = "[pid=" + std::to_string(pid) + "]";
                const bool moved = waitUntil(
                    [&] { return sway.swaymsg({criteria, "move", "container", "to", "output", output}).exitCode == 0; },
                    10, 0.2);
                return moved && sway.swaymsg({criteria, "move", "position", "center"}).exitCode == 0;
            }};
}

// The pane on `compositor` at each placement: its CPU and memory in one run, its frames
// a second in another under WAYLAND_DEBUG.
void onCompositor(const char* where, HeadlessCompositor& compositor, const std::vector<Placement>& placements) {
    if (!compositor.available()) {
        std::printf("%s skipped: %s\n", where, compositor.why().c_str());
        return;
    }
    std::ofstream(compositor.file("Zorvan.conf")) << SETTINGS;
    for (bool debug : {false, true}) {
        ChildSetup setup;
        setup.env = {"GDK_BACKEND", "NO_AT_BRIDGE=1", "GSETTINGS_BACKEND=memory"};
        if (debug) {
            setup.env.push_back("WAYLAND_DEBUG=client");
            setup.errPath = compositor.file("debug.log");
        }
        const int pid = compositor.startClient(
            zorvanPath(), {"--settings", "--prefs", compositor.file("Zorvan.conf"), "--seed", "5"}, setup);
        for (const Placement& at : placements) {
            if (!at.place(pid)) {
                std::printf("%s: the pane did not show\n", where);
                break;
            }
            settle(2.0);
            if (!debug) {
                report(where, at.what, pid, cpuOver(pid, seconds), -1, -1);
                continue;
            }
            settle(3.0);
            std::printf("%-18s %-16s frames %5.1f/s (a run under WAYLAND_DEBUG)\n", where, at.what,
                        commitsPerSecond(compositor.file("debug.log"), 3.0));
        }
        ::kill(pid, SIGTERM);
        waitProcess(pid, 10);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1) seconds = std::atof(argv[1]);
    if (!(seconds > 0.0)) seconds = 10.0;
    const std::string baseline = argc > 2 ? argv[2] : "";
    for (int scale : {1, 2}) {
        if (!baseline.empty()) onX11(baseline, "baseline build", scale);
        onX11(zorvanPath(), "this build", scale);
    }
    {
        HeadlessSway sway;
        if (sway.available()) sway.swaymsg({"output", "HEADLESS-2", "mode", "1600x1200"});
        onCompositor("Wayland (sway)", sway,
                     {onOutput(sway, "HEADLESS-1", "scale 1"), onOutput(sway, "HEADLESS-2", "scale 2")});
    }
    { HeadlessKwin kwin(1280, 720, 1); onCompositor("Wayland (KWin)", kwin, {opened()}); }
    { HeadlessMutter mutter; onCompositor("Wayland (mutter)", mutter, {opened()}); }
    return 0;
}
