// The frame rate follows the machine's power, end to end: the program on a window of a
// private X server, its frames counted through DAMAGE, with mock UPower and
// power-profiles daemons (python3-dbusmock) on a private bus that stands for the
// system bus, changed while the program runs.
#include "host/Process.h"
#include "host/TwoMonitorDisplay.h"

// GoogleTest before Xlib: Xlib's macros (None, Bool) would break its headers.
#include <gtest/gtest.h>

#include "support/MockSystemBus.h"
#include "support/XPixels.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xdamage.h>
#include <gio/gio.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

using namespace zorvan;
using test::cpuSeconds;
using test::secondsSince;
using Clock = std::chrono::steady_clock;

namespace {

// Frames 40 ms apart: 50 in the two seconds counted at full rate, 25 at half. A busy
// machine draws fewer, never more.
const std::string DELAY = "40000";
constexpr double COUNTED = 2.0;
constexpr long HALF_MOST = 30, HALF_LEAST = 12, FULL_LEAST = 36;

const char UPOWER[] = "org.freedesktop.UPower";
const char UPOWER_PATH[] = "/org/freedesktop/UPower";
const char DEVICE_PATH[] = "/org/freedesktop/UPower/devices/DisplayDevice";
const char DEVICE[] = "org.freedesktop.UPower.Device";
const char PROFILES[] = "net.hadess.PowerProfiles";
const char PROFILES_PATH[] = "/net/hadess/PowerProfiles";

class Power : public ::testing::Test {
protected:
    void SetUp() override {
        if (!x_.ok()) GTEST_SKIP() << x_.why();
        d_ = x_.display();
        if (!XDamageQueryExtension(d_, &damageEvent_, &damageError_)) GTEST_SKIP() << "no DAMAGE";
        window_ = XCreateSimpleWindow(d_, DefaultRootWindow(d_), 0, 0, 160, 120, 0, 0, 0);
        XMapWindow(d_, window_);
        // Every frame is one picture put on the window; the test counts them.
        XDamageCreate(d_, window_, XDamageReportRawRectangles);
        XSync(d_, False);
        std::ofstream(dir_.file("Zorvan.conf")) << "[Zorvan]\n";
    }

    // The program on the test's window, with `env` added; once its first frame is seen.
    int start(std::vector<std::string> args, const std::vector<std::string>& env) {
        frames(0.2);  // the window's own painting, or the last run's last frames
        for (const std::string& a : {std::string("--window-id"), test::hexId(window_), std::string("--delay"), DELAY,
                                     std::string("--prefs"), dir_.file("Zorvan.conf")})
            args.push_back(a);
        const int pid = test::startProcess(test::zorvanPath(), args, env, dir_.file("stderr"));
        const auto begin = Clock::now();
        long seen = 0;
        while (pid > 0 && seen == 0 && secondsSince(begin) < 15) seen += frames(0.05);
        EXPECT_GT(seen, 0) << "no frame";
        return pid;
    }
    void stop(int pid) {
        kill(pid, SIGTERM);
        EXPECT_EQ(test::waitProcess(pid, 10), 0);
    }

    // The frames drawn on the window in `seconds`.
    long frames(double seconds) { return test::damageFrames(d_, damageEvent_, seconds); }
    // The frames in the counted seconds, once a change has had time to arrive.
    long settledFrames() {
        frames(0.4);
        return frames(COUNTED);
    }
    void expectHalf(const char* why) {
        const long counted = settledFrames();
        EXPECT_GE(counted, HALF_LEAST) << why;
        EXPECT_LE(counted, HALF_MOST) << why;
    }
    // A second count where a busy machine held the first one up.
    void expectFull(const char* why) {
        long counted = settledFrames();
        if (counted < FULL_LEAST) counted = std::max(counted, frames(COUNTED));
        EXPECT_GE(counted, FULL_LEAST) << why;
    }

    test::TempDir dir_{"power"};
    test::TwoMonitorDisplay x_{320, 240};
    Display* d_ = nullptr;
    Window window_ = 0;
    int damageEvent_ = 0, damageError_ = 0;
};

}  // namespace

// On battery and with the power-saver profile the views draw every other frame; at a
// critical battery they draw none and take no CPU time, and back on mains they go on at
// the full rate. --power full keeps the full rate on battery.
TEST_F(Power, FollowsTheBatteryAndTheProfileWhileRunning) {
    test::MockSystemBus bus(dir_);
    if (!bus.ok()) GTEST_SKIP() << bus.why();
    ASSERT_TRUE(bus.mock("upower", R"({"OnBattery": true})", UPOWER));
    ASSERT_TRUE(bus.mock("power_profiles_daemon", R"({"ActiveProfile": "balanced"})", PROFILES));

    const int pid = start({}, {bus.variable()});
    ASSERT_GT(pid, 0);
    expectHalf("on battery");

    bus.set(UPOWER, UPOWER_PATH, UPOWER, "OnBattery", g_variant_new_boolean(FALSE));
    expectFull("on mains");

    bus.set(PROFILES, PROFILES_PATH, PROFILES, "ActiveProfile", g_variant_new_string("power-saver"));
    expectHalf("power-saver profile");

    // A battery at 5 %, at UPower's critical level.
    bus.set(PROFILES, PROFILES_PATH, PROFILES, "ActiveProfile", g_variant_new_string("balanced"));
    bus.set(UPOWER, DEVICE_PATH, DEVICE, "Type", g_variant_new_uint32(2));
    bus.set(UPOWER, DEVICE_PATH, DEVICE, "IsPresent", g_variant_new_boolean(TRUE));
    bus.set(UPOWER, DEVICE_PATH, DEVICE, "Percentage", g_variant_new_double(5.0));
    bus.set(UPOWER, DEVICE_PATH, DEVICE, "WarningLevel", g_variant_new_uint32(4));
    bus.set(UPOWER, UPOWER_PATH, UPOWER, "OnBattery", g_variant_new_boolean(TRUE));
    frames(0.5);
    const double cpuBefore = cpuSeconds(pid);
    EXPECT_EQ(frames(COUNTED), 0) << "resting at a critical battery";
    EXPECT_LT(cpuSeconds(pid) - cpuBefore, 0.1) << "the rest spins";

    bus.set(UPOWER, DEVICE_PATH, DEVICE, "Percentage", g_variant_new_double(60.0));
    bus.set(UPOWER, DEVICE_PATH, DEVICE, "WarningLevel", g_variant_new_uint32(1));
    bus.set(UPOWER, UPOWER_PATH, UPOWER, "OnBattery", g_variant_new_boolean(FALSE));
    expectFull("back on mains");
    stop(pid);

    bus.set(UPOWER, UPOWER_PATH, UPOWER, "OnBattery", g_variant_new_boolean(TRUE));
    bus.set(PROFILES, PROFILES_PATH, PROFILES, "ActiveProfile", g_variant_new_string("power-saver"));
    const int full = start({"--power", "full"}, {bus.variable()});
    ASSERT_GT(full, 0);
    expectFull("--power full on battery");
    stop(full);
}

// Without a system bus the views draw at the full rate and nothing is said about it;
// --power save halves the rate whatever the power.
TEST_F(Power, FullWithoutASystemBusAndHalfWithPowerSave) {
    const std::string noBus = "DBUS_SYSTEM_BUS_ADDRESS=unix:path=" + dir_.file("no-bus");
    const int pid = start({}, {noBus});
    ASSERT_GT(pid, 0);
    expectFull("without a bus");
    stop(pid);
    EXPECT_EQ(test::readFile(dir_.file("stderr")), "");

    const int save = start({"--power", "save"}, {noBus});
    ASSERT_GT(save, 0);
    expectHalf("--power save");
    stop(save);
}
