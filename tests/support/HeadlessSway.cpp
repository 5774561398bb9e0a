#include "support/HeadlessSway.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <regex>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace zorvan::test {

namespace {

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

bool HeadlessSway::hasSessionLock() {
    const ProcessResult version = runProcess("sway", {"--version"});
    std::smatch m;
    if (!std::regex_search(version.out, m, std::regex("(\\d+)\\.(\\d+)"))) return true;
    return std::stoi(m[1]) > 1 || std::stoi(m[2]) >= 8;
}

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

}  // namespace zorvan::test
