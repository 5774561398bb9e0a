#include "support/HeadlessMutter.h"

#include "support/XPixels.h"

#include <cstdio>

namespace zorvan::test {

namespace {

// The dummy outputs' mode that mutter starts them in.
const char MODE[] = "800x600@60.000";

const std::initializer_list<const char*> TOOLS = {"mutter", "Xvfb", "xdotool", "dbus-run-session", "gdbus"};

}  // namespace

HeadlessMutter::HeadlessMutter() {
    if (!start() && why_.empty()) why_ = "mutter did not start";
}

HeadlessMutter::~HeadlessMutter() {
    kill();  // mutter goes before its X server
}

std::string HeadlessMutter::missing() { return HeadlessCompositor::missing(TOOLS); }

Box blackBox(const Shot& shot) {
    return boxOf(shot, [](const unsigned char* p) { return !isLit(p); });
}

long motes(const Shot& shot) { return litPixels(shot, blackBox(shot)); }

bool HeadlessMutter::start() {
    if (!prepare("mutter", TOOLS)) return false;
    x_ = std::make_unique<TwoMonitorDisplay>(2 * OUTPUT_WIDTH, OUTPUT_HEIGHT);
    if (!x_->ok()) {
        why_ = x_->why();
        return false;
    }
    if (!launchOnBus({"mutter", "--nested", "--wayland", "--no-x11"},
                     {"DISPLAY=" + x_->name(), "MUTTER_DEBUG_NUM_DUMMY_MONITORS=2",
                      "MUTTER_DEBUG_DUMMY_MONITOR_SCALES=1,2"},
                     20))
        return false;
    // The socket comes before the first frame.
    if (!waitForDesktop(20)) {
        why_ = "mutter drew no outputs:\n" + log();
        return false;
    }
    return true;
}

bool HeadlessMutter::waitForDesktop(double seconds) {
    return waitFor(
        [](const Shot& shot) {
            for (int i = 0; i < 2; ++i) {
                const Shot part = output(shot, i);
                // More black than the pointer's outline.
                if (part.rgb.empty() || pixelsOf(part, 0x000000) > 1000) return false;
            }
            return true;
        },
        seconds);
}

Shot HeadlessMutter::screenshot(const std::string& name) {
    Display* display = x_ ? x_->display() : nullptr;
    if (!display) return {};
    const Shot shot = readScreen(display);
    if (!name.empty() && !shot.rgb.empty()) writeShot(shot, shotPath(name));
    return shot;
}

Shot HeadlessMutter::output(const Shot& shot, int index) {
    const size_t left = size_t(index) * OUTPUT_WIDTH;
    return part(shot, {left, 0, left + OUTPUT_WIDTH, OUTPUT_HEIGHT});
}

bool HeadlessMutter::xdotool(const std::vector<std::string>& args) {
    if (!x_ || !x_->ok()) return false;
    // xdotool talks to the Xvfb that the object has made the test's DISPLAY.
    const ProcessResult done = runProcess("xdotool", args, {}, 10);
    if (done.exitCode == 0) return true;
    error_ = "xdotool " + args[0] + " failed: " + done.err;
    return false;
}

bool HeadlessMutter::key(const std::string& name) { return xdotool({"key", name}); }

bool HeadlessMutter::moveTo(int x, int y) { return xdotool({"mousemove", std::to_string(x), std::to_string(y)}); }

bool HeadlessMutter::move(int dx, int dy) {
    return xdotool({"mousemove_relative", "--", std::to_string(dx), std::to_string(dy)});
}

bool HeadlessMutter::click() { return xdotool({"click", "1"}); }

ProcessResult HeadlessMutter::displayConfig(const std::string& method, const std::vector<std::string>& args) {
    std::vector<std::string> call = {"--dest", "org.gnome.Mutter.DisplayConfig", "--object-path",
                                     "/org/gnome/Mutter/DisplayConfig", "--method",
                                     "org.gnome.Mutter.DisplayConfig." + method};
    call.insert(call.end(), args.begin(), args.end());
    return busCall(call);
}

bool HeadlessMutter::removeOutput() {
    // A new layout names the serial of the state it was made from: "(uint32 N, [...".
    const ProcessResult state = displayConfig("GetCurrentState", {});
    unsigned serial = 0;
    if (state.exitCode != 0 || std::sscanf(state.out.c_str(), "(uint32 %u,", &serial) != 1) return false;
    // Method 1 applies the layout for this session, without asking to keep it.
    const std::string layout = std::string("[(0, 0, 1.0, 0, true, [('LVDS1', '") + MODE + "', @a{sv} {})])]";
    return displayConfig("ApplyMonitorsConfig", {std::to_string(serial), "1", layout, "@a{sv} {}"}).exitCode == 0;
}

}  // namespace zorvan::test
