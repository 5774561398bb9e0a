#include "host/TwoMonitorDisplay.h"

#include "host/Process.h"
#include "support/XPixels.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

namespace zorvan::test {

TwoMonitorDisplay::TwoMonitorDisplay() { start(WIDTH, HEIGHT, true); }

TwoMonitorDisplay::TwoMonitorDisplay(int width, int height, bool split) { start(width, height, split); }

void TwoMonitorDisplay::start(int width, int height, bool split) {
    int fds[2];
    if (pipe(fds) != 0) {
        why_ = "no pipe";
        return;
    }
    // The server keeps the write end only.
    fcntl(fds[0], F_SETFD, FD_CLOEXEC);
    ChildSetup quiet;
    quiet.quiet = true;
    serverPid_ = spawnProcess("Xvfb", {"-displayfd", std::to_string(fds[1]), "-screen", "0",
                                       std::to_string(width) + "x" + std::to_string(height) + "x24",
                                       "-noreset", "-nolisten", "tcp"},
                              quiet);
    close(fds[1]);
    // The server writes its display number once it listens.
    std::string number;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd p{fds[0], POLLIN, 0};
        if (poll(&p, 1, 100) <= 0) continue;
        char c;
        if (read(fds[0], &c, 1) != 1) break;
        if (c == '\n') break;
        number += c;
    }
    close(fds[0]);
    if (number.empty()) {
        why_ = "Xvfb did not start";
        return;
    }
    name_ = ":" + number;
    displayVar_.emplace("DISPLAY").set(name_);
    if (split) {
        const std::string half = std::to_string(width / 2), size = half + "/338x" + std::to_string(height) + "/270";
        const auto a = runProcess("/usr/bin/xrandr", {"--setmonitor", "left", size + "+0+0", "screen"}, {}, 10);
        const auto b = runProcess("/usr/bin/xrandr", {"--setmonitor", "right", size + "+" + half + "+0", "none"}, {}, 10);
        if (a.exitCode != 0 || b.exitCode != 0) {
            why_ = "xrandr --setmonitor failed: " + a.err + b.err;
            return;
        }
    }
    display_ = XOpenDisplay(name_.c_str());
    if (!display_) why_ = "cannot open " + name_;
}

void TwoMonitorDisplay::stopServer() {
    if (display_) XCloseDisplay(display_);
    display_ = nullptr;
    if (serverPid_ > 0) {
        kill(serverPid_, SIGTERM);
        waitProcess(serverPid_, 5);
    }
    serverPid_ = -1;
}

TwoMonitorDisplay::~TwoMonitorDisplay() { stopServer(); }

long TwoMonitorDisplay::litPixels(int x, int y, int width, int height) const {
    return test::litPixels(readPixels(display_, DefaultRootWindow(display_), x, y, width, height));
}

bool TwoMonitorDisplay::waitForLit(int x, int y, int width, int height, long count,
                                   double seconds) const {
    return waitUntil([&] { return litPixels(x, y, width, height) >= count; }, seconds, 0.05);
}

std::string TwoMonitorDisplay::screenshot(const std::string& name) const {
    const std::string path = shotFile(name);
    if (const Shot shot = display_ ? readScreen(display_) : Shot{}; !shot.rgb.empty()) writeShot(shot, path);
    return path;
}

}  // namespace zorvan::test
