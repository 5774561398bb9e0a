#include "support/HeadlessMutter.h"

#include "support/MockSystemBus.h"
#include "support/XPixels.h"

#include <cstdio>
#include <filesystem>

namespace zorvan::test {

namespace {

// The first output's mode, nested and headless alike.
const char MODE[] = "800x600@60.000";

const std::initializer_list<const char*> NESTED_TOOLS = {"mutter", "Xvfb", "xdotool", "dbus-run-session", "gdbus"};
const std::initializer_list<const char*> HEADLESS_TOOLS = {"mutter", "pipewire", "wireplumber", "dbus-run-session",
                                                           "gdbus"};

// The remote desktop client's name and method prefix on mutter's bus.
const char REMOTE[] = "org.zorvan.MutterRemote";

}  // namespace

bool HeadlessMutter::nested() {
    static const bool offered =
        runProcess("mutter", {"--help"}, {}, 10).out.find("--nested") != std::string::npos;
    return offered;
}

HeadlessMutter::HeadlessMutter(bool largeSecond) : largeSecond_(largeSecond) {
    if (!start() && why_.empty()) why_ = "mutter did not start";
}

HeadlessMutter::~HeadlessMutter() {
    kill();  // mutter goes before its X server
}

std::string HeadlessMutter::missing() {
    if (onPath("mutter").empty()) return "mutter";
    return HeadlessCompositor::missing(nested() ? NESTED_TOOLS : HEADLESS_TOOLS);
}

Box blackBox(const Shot& shot) {
    return boxOf(shot, [](const unsigned char* p) { return !isLit(p); });
}

long motes(const Shot& shot) { return litPixels(shot, blackBox(shot)); }

bool HeadlessMutter::start() {
    if (!nested()) return startHeadless();
    if (!prepare("mutter", NESTED_TOOLS)) return false;
    x_ = largeSecond_ ? std::make_unique<TwoMonitorDisplay>(3 * OUTPUT_WIDTH, 2 * OUTPUT_HEIGHT)
                      : std::make_unique<TwoMonitorDisplay>(2 * OUTPUT_WIDTH, OUTPUT_HEIGHT);
    if (!x_->ok()) {
        why_ = x_->why();
        return false;
    }
    // Each dummy output offers every mode given, the first preferred.
    if (!launchOnBus({"mutter", "--nested", "--wayland", "--no-x11"},
                     {"DISPLAY=" + x_->name(), "MUTTER_DEBUG_NUM_DUMMY_MONITORS=2",
                      "MUTTER_DEBUG_DUMMY_MONITOR_SCALES=1,2",
                      std::string("MUTTER_DEBUG_DUMMY_MODE_SPECS=800x600") + (largeSecond_ ? ":1600x1200" : "")},
                     20))
        return false;
    if (largeSecond_ &&
        !waitUntil(
            [&] {
                return applyLayout(std::string("[(0, 0, 1.0, 0, true, [('LVDS1', '") + MODE +
                                   "', @a{sv} {})]), (800, 0, 2.0, 0, false, [('LVDS2', '1600x1200@60.000', @a{sv} {})])]");
            },
            20, 0.1)) {
        why_ = "mutter took no second output of 1600x1200: " + error_;
        return false;
    }
    // The socket comes before the first frame.
    if (!waitForDesktop(20)) {
        why_ = "mutter drew no outputs:\n" + log();
        return false;
    }
    return true;
}

bool HeadlessMutter::startHeadless() {
    if (!prepare("mutter", HEADLESS_TOOLS)) return false;
    if (!launchOnBus({"mutter", "--headless", "--wayland", "--no-x11", "--virtual-monitor", "800x600",
                      "--virtual-monitor", "1600x1200"},
                     {}, 20))
        return false;
    const std::string layout = std::string("[(0, 0, 1.0, 0, true, [('Meta-0', '") + MODE +
                               "', @a{sv} {})]), (800, 0, 2.0, 0, false, [('Meta-1', '1600x1200@60.000', @a{sv} {})])]";
    if (!applyLayout(layout)) {
        why_ = "mutter took no scale 2: " + error_;
        return false;
    }
    // PipeWire for the screen casts, WirePlumber to link them to the client.
    for (const char* daemon : {"pipewire", "wireplumber"}) {
        ChildSetup setup;
        setup.outPath = setup.errPath = file(std::string(daemon) + ".log");
        if (startBusClient(daemon, {}, setup) <= 0) {
            why_ = std::string("cannot start ") + daemon;
            return false;
        }
    }
    const std::string client = file("mutter_remote.py");
    std::filesystem::copy_file(std::string(ZORVAN_TEST_DATA_DIR) + "/mutter_remote.py", client);
    ChildSetup setup;
    setup.outPath = setup.errPath = file("remote.log");
    if (startBusClient(SYSTEM_PYTHON, {client, "Meta-0", "Meta-1"}, setup) <= 0 ||
        !waitUntil(
            [&] {
                return busCall({"--dest", "org.freedesktop.DBus", "--object-path", "/org/freedesktop/DBus",
                                "--method", "org.freedesktop.DBus.GetNameOwner", REMOTE})
                           .exitCode == 0;
            },
            40, 0.1)) {
        why_ = "no pictures of mutter's outputs:\n" + readFile(file("remote.log")) + readFile(file("pipewire.log"));
        return false;
    }
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
    Shot shot;
    if (x_) {
        if (x_->display()) shot = readScreen(x_->display());
    } else if (remote("Shot", {file("shot.ppm")})) {
        shot = readShot(file("shot.ppm"));
    }
    if (!name.empty() && !shot.rgb.empty()) writeShot(shot, shotPath(name));
    return shot;
}

Shot HeadlessMutter::output(const Shot& shot, int index) {
    return index == 0 ? part(shot, {0, 0, OUTPUT_WIDTH, OUTPUT_HEIGHT})
                      : part(shot, {OUTPUT_WIDTH, 0, shot.width, shot.height});
}

bool HeadlessMutter::xdotool(const std::vector<std::string>& args) {
    if (!x_ || !x_->ok()) return false;
    // xdotool talks to the Xvfb that the object has made the test's DISPLAY.
    const ProcessResult done = runProcess("xdotool", args, {}, 10);
    if (done.exitCode == 0) return true;
    error_ = "xdotool " + args[0] + " failed: " + done.err;
    return false;
}

bool HeadlessMutter::remote(const std::string& method, const std::vector<std::string>& args) {
    std::vector<std::string> call = {"--dest", REMOTE, "--object-path", "/", "--method",
                                     std::string(REMOTE) + "." + method, "--"};
    call.insert(call.end(), args.begin(), args.end());
    return busCall(call).exitCode == 0;
}

bool HeadlessMutter::key(const std::string& name) { return x_ ? xdotool({"key", name}) : remote("Key", {name}); }

bool HeadlessMutter::moveTo(int x, int y) {
    if (x_) return xdotool({"mousemove", std::to_string(x), std::to_string(y)});
    // Absolute motion wants a screen cast of the remote desktop session itself; relative
    // motion does not: into the top left corner, where mutter stops the pointer, then on
    // to the point in logical pixels (half the shot's on output 1).
    if (x >= OUTPUT_WIDTH) {
        x = OUTPUT_WIDTH + (x - OUTPUT_WIDTH) / 2;
        y /= 2;
    }
    return move(-100000, -100000) && move(x, y);
}

bool HeadlessMutter::move(int dx, int dy) {
    if (x_) return xdotool({"mousemove_relative", "--", std::to_string(dx), std::to_string(dy)});
    return remote("Move", {std::to_string(dx), std::to_string(dy)});
}

bool HeadlessMutter::click() { return x_ ? xdotool({"click", "1"}) : remote("Click"); }

ProcessResult HeadlessMutter::displayConfig(const std::string& method, const std::vector<std::string>& args) {
    std::vector<std::string> call = {"--dest", "org.gnome.Mutter.DisplayConfig", "--object-path",
                                     "/org/gnome/Mutter/DisplayConfig", "--method",
                                     "org.gnome.Mutter.DisplayConfig." + method};
    call.insert(call.end(), args.begin(), args.end());
    return busCall(call);
}

bool HeadlessMutter::applyLayout(const std::string& layout) {
    // A new layout names the serial of the state it was made from: "(uint32 N, [...".
    const ProcessResult state = displayConfig("GetCurrentState", {});
    unsigned serial = 0;
    if (state.exitCode != 0 || std::sscanf(state.out.c_str(), "(uint32 %u,", &serial) != 1) return false;
    // Method 1 applies the layout for this session, without asking to keep it.
    return displayConfig("ApplyMonitorsConfig", {std::to_string(serial), "1", layout, "@a{sv} {}"}).exitCode == 0;
}

bool HeadlessMutter::removeOutput() {
    return applyLayout(std::string("[(0, 0, 1.0, 0, true, [('") + (x_ ? "LVDS1" : "Meta-0") + "', '" + MODE +
                       "', @a{sv} {})])]");
}

}  // namespace zorvan::test
