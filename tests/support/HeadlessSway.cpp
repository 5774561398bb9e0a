#include "support/HeadlessSway.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace zorvan::test {

namespace {

#ifdef ZORVAN_TEST_POINTER
const char POINTER[] = ZORVAN_TEST_POINTER;
#else
const char POINTER[] = "";
#endif

// HEADLESS-2 only comes with create_output, and takes its settings from here then.
// Without a background sway paints the outputs grey; swaynag would open on errors.
const char CONFIG[] =
    "xwayland disable\n"
    "swaynag_command -\n"
    "output * bg #000000 solid_color\n"
    "output HEADLESS-1 mode 1280x720 position 0 0 scale 1\n"
    "output HEADLESS-2 mode 800x600 position 1280 0 scale 2\n";

void pause() { std::this_thread::sleep_for(std::chrono::milliseconds(20)); }

}  // namespace

HeadlessSway::HeadlessSway() {
    if (!start() && why_.empty()) why_ = "sway did not start";
    if (!why_.empty() && compositor_ > 0) why_ += "\n" + log();
}

bool HeadlessSway::start() {
    if (!prepare("sway", {"sway", "swaymsg", "swaybg", "grim", "wtype"})) return false;
    const std::string config = writeFile("config", CONFIG);
    if (!launch("sway", {"-c", config},
                {"WLR_BACKENDS=headless", "WLR_RENDERER=pixman", "WLR_LIBINPUT_NO_DEVICES=1"}, 15))
        return false;

    // The IPC socket comes once sway has read its config, and a moment before sway
    // listens on it.
    const auto deadline = deadlineIn(15);
    while (socket_.empty()) {
        if (Clock::now() > deadline || !running()) return false;
        pause();
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(runtime_, ec))
            if (entry.path().filename().string().rfind("sway-ipc.", 0) == 0) socket_ = entry.path();
    }
    clientEnv_ = {"SWAYSOCK=" + socket_};
    ProcessResult made = swaymsg({"create_output"});
    while (made.exitCode != 0 && made.err.find("Unable to connect") != std::string::npos &&
           Clock::now() < deadline) {
        pause();
        made = swaymsg({"create_output"});
    }
    if (made.exitCode != 0) {
        why_ = "swaymsg create_output failed: " + made.out + made.err;
        return false;
    }
    for (;;) {
        const auto all = outputs();
        if (all.size() == 2 && all[0].modeWidth == 1280 && all[1].modeWidth == 800 && all[1].scale == 2) break;
        if (Clock::now() > deadline) {
            why_ = "the outputs are not as configured:\n" + swaymsg({"-t", "get_outputs"}).out;
            return false;
        }
        pause();
    }
    // swaybg paints black a moment after the outputs appear.
    if (!waitUntilBlack(std::chrono::duration<double>(deadline - Clock::now()).count())) {
        why_ = "the outputs did not turn black";
        return false;
    }
    return true;
}

HeadlessSway::~HeadlessSway() {
    if (pointerSocket_ >= 0) close(pointerSocket_);  // the pointer ends at the end of its input
    if (pointer_ > 0) waitProcess(pointer_, 2);
}

ProcessResult HeadlessSway::swaymsg(const std::vector<std::string>& args) const { return runClient("swaymsg", args); }

std::vector<HeadlessSway::Output> HeadlessSway::outputs() const {
    // The plain text form: "Output NAME 'description' (focused)", then indented fields.
    std::vector<Output> all;
    std::istringstream lines(swaymsg({"-p", "-t", "get_outputs"}).out);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind("Output ", 0) == 0) {
            Output o;
            o.name = line.substr(7, line.find(' ', 7) - 7);
            o.focused = line.find("(focused)") != std::string::npos;
            all.push_back(o);
        } else if (!all.empty()) {
            Output& o = all.back();
            std::sscanf(line.c_str(), " Current mode: %dx%d", &o.modeWidth, &o.modeHeight);
            std::sscanf(line.c_str(), " Position: %d,%d", &o.x, &o.y);
            std::sscanf(line.c_str(), " Scale factor: %lf", &o.scale);
        }
    }
    return all;
}

std::string HeadlessSway::focusedOutput() const {
    for (const auto& o : outputs())
        if (o.focused) return o.name;
    return "";
}

Shot HeadlessSway::screenshot(const std::string& name) { return grim({}, name); }

Shot HeadlessSway::outputShot(const std::string& output, const std::string& name) {
    return grim({"-o", output}, name);
}

long HeadlessSway::litPixels(const std::string& output) { return test::litPixels(outputShot(output)); }

bool HeadlessSway::waitForLit(const std::string& output, long count, double seconds) {
    return waitUntil([&] { return litPixels(output) >= count; }, seconds, 0.02);
}

bool HeadlessSway::move(double dx, double dy) {
    std::ostringstream command;
    command << "move " << dx << ' ' << dy;
    return pointer(command.str());
}

bool HeadlessSway::moveTo(int x, int y) {
    return pointer("at " + std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(LAYOUT_WIDTH) + " " +
                   std::to_string(LAYOUT_HEIGHT));
}

bool HeadlessSway::click() { return pointer("button"); }

std::string HeadlessSway::pointerLine() {
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

bool HeadlessSway::pointer(const std::string& command) {
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
