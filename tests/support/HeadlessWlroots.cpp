// The shared part of the headless wlroots desktops: grim's pictures and the virtual pointer.
#include "support/HeadlessWlroots.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <sstream>

using Clock = std::chrono::steady_clock;

namespace zorvan::test {

namespace {

#ifdef ZORVAN_TEST_POINTER
const char POINTER[] = ZORVAN_TEST_POINTER;
#else
const char POINTER[] = "";
#endif

}  // namespace

HeadlessWlroots::~HeadlessWlroots() {
    if (pointerSocket_ >= 0) close(pointerSocket_);  // the pointer ends at the end of its input
    if (pointer_ > 0) waitProcess(pointer_, 2);
}

Shot HeadlessWlroots::screenshot(const std::string& name) { return grim({}, name); }

Shot HeadlessWlroots::outputShot(const std::string& output, const std::string& name) {
    return grim({"-o", output}, name);
}

long HeadlessWlroots::litPixels(const std::string& output) { return test::litPixels(outputShot(output)); }

bool HeadlessWlroots::waitForLit(const std::string& output, long count, double seconds) {
    return waitUntil([&] { return litPixels(output) >= count; }, seconds, 0.02);
}

bool HeadlessWlroots::move(double dx, double dy) {
    std::ostringstream command;
    command << "move " << dx << ' ' << dy;
    return pointer(command.str());
}

bool HeadlessWlroots::moveTo(int x, int y) {
    return pointer("at " + std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(LAYOUT_WIDTH) + " " +
                   std::to_string(LAYOUT_HEIGHT));
}

bool HeadlessWlroots::click() { return pointer("button"); }

std::string HeadlessWlroots::pointerLine() {
    const auto deadline = deadlineIn(5);
    for (;;) {
        const size_t end = pointerText_.find('\n');
        if (end != std::string::npos) {
            const std::string line = pointerText_.substr(0, end);
            pointerText_.erase(0, end + 1);
            return line;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd p{pointerSocket_, POLLIN, 0};
        if (left.count() <= 0 || poll(&p, 1, int(left.count())) <= 0) return "";
        char buffer[256];
        const ssize_t n = read(pointerSocket_, buffer, sizeof buffer);
        if (n <= 0) return "";
        pointerText_.append(buffer, size_t(n));
    }
}

bool HeadlessWlroots::pointer(const std::string& command) {
    if (!available()) {
        error_ = why_;
        return false;
    }
    if (pointer_ < 0) {
        if (!*POINTER) {
            error_ = "zorvan-test-pointer was not built (no Wayland support)";
            return false;
        }
        // One socket both ways: a pointer that died is an error to report, not a SIGPIPE.
        int pair[2];
        if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) return false;
        fcntl(pair[1], F_SETFD, 0);  // the pointer's end goes with it through exec
        ChildSetup setup;
        setup.errPath = file("pointer.log");
        setup.env = clientEnv();
        pointer_ = spawnProcess(POINTER, {std::to_string(pair[1])}, setup);
        close(pair[1]);
        pointerSocket_ = pair[0];
        if (pointer_ < 0 || pointerLine() != "ready") {
            error_ = "the virtual pointer did not start: " + readFile(file("pointer.log"));
            return false;
        }
    }
    const std::string line = command + "\n";
    if (send(pointerSocket_, line.data(), line.size(), MSG_NOSIGNAL) != ssize_t(line.size()) || pointerLine() != "ok") {
        error_ = "the virtual pointer did not take \"" + command + "\": " + readFile(file("pointer.log"));
        return false;
    }
    return true;
}

}  // namespace zorvan::test
