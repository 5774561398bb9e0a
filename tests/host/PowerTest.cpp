// The frame rate follows the machine's power, end to end: the program on a window of a
// private X server, its frames counted through DAMAGE, with mock UPower and
// power-profiles daemons (python3-dbusmock) on a private bus that stands for the
// system bus, changed while the program runs.
#include "host/Process.h"
#include "host/TwoMonitorDisplay.h"

// GoogleTest before Xlib: Xlib's macros (None, Bool) would break its headers.
#include <gtest/gtest.h>

#include "support/XPixels.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xdamage.h>
#include <gio/gio.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

using namespace zorvan;
using test::secondsSince;
using Clock = std::chrono::steady_clock;

namespace {

// Debian's own python3 carries dbusmock (another one on PATH may not).
const char PYTHON[] = "/usr/bin/python3";

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

// A private message bus with the mock daemons on it, ended with them.
class MockSystemBus {
public:
    explicit MockSystemBus(const test::TempDir& dir) {
        gchar* daemon = g_find_program_in_path("dbus-daemon");
        const bool haveDaemon = daemon != nullptr;
        g_free(daemon);
        if (!haveDaemon) {
            why_ = "dbus-daemon is not installed";
            return;
        }
        if (test::runProcess(PYTHON, {"-c", "import dbusmock"}).exitCode != 0) {
            why_ = "python3-dbusmock is not installed";
            return;
        }
        const std::string socket = dir.file("system_bus_socket"), config = dir.file("bus.conf");
        std::ofstream(config) << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                                 " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                                 "<busconfig>\n"
                                 "  <listen>unix:path="
                              << socket
                              << "</listen>\n"
                                 "  <auth>EXTERNAL</auth>\n"
                                 "  <policy context=\"default\">\n"
                                 "    <allow user=\"*\"/>\n"
                                 "    <allow own=\"*\"/>\n"
                                 "    <allow send_destination=\"*\"/>\n"
                                 "    <allow receive_sender=\"*\"/>\n"
                                 "  </policy>\n"
                                 "</busconfig>\n";
        test::ChildSetup quiet;
        quiet.quiet = true;
        quiet.ownGroup = true;
        busPid_ = test::spawnProcess("dbus-daemon", {"--config-file=" + config, "--nofork", "--nopidfile"}, quiet);
        address_ = "unix:path=" + socket;
        test::waitUntil(
            [&] {
                connection_ = g_dbus_connection_new_for_address_sync(
                    address_.c_str(),
                    GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                         G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
                    nullptr, nullptr, nullptr);
                return connection_ != nullptr;
            },
            10, 0.02);
        if (!connection_) why_ = "the private bus did not start";
    }
    ~MockSystemBus() {
        for (int pid : pids_) {
            kill(pid, SIGTERM);
            test::waitProcess(pid, 5);
        }
        if (connection_) g_object_unref(connection_);
        if (busPid_ > 0) {
            kill(busPid_, SIGTERM);
            test::waitProcess(busPid_, 5);
        }
    }
    MockSystemBus(const MockSystemBus&) = delete;
    MockSystemBus& operator=(const MockSystemBus&) = delete;

    bool ok() const { return connection_ != nullptr; }
    const std::string& why() const { return why_; }
    // For the programs that use it as their system bus.
    std::string variable() const { return "DBUS_SYSTEM_BUS_ADDRESS=" + address_; }

    // Starts dbusmock's template with its parameters (JSON); true once it owns `name`.
    bool mock(const std::string& name, const std::string& parameters, const char* busName) {
        test::ChildSetup setup;
        setup.quiet = true;
        setup.env = {variable()};
        const int pid =
            test::spawnProcess(PYTHON, {"-m", "dbusmock", "--system", "--template", name, "-p", parameters}, setup);
        if (pid <= 0) return false;
        pids_.push_back(pid);
        return test::waitUntil([&] { return owned(busName); }, 15, 0.05);
    }

    // Sets a property of a mock object; it tells its watchers at once.
    void set(const char* busName, const char* path, const char* interface, const char* property, GVariant* value) {
        GError* error = nullptr;
        GVariant* reply = g_dbus_connection_call_sync(connection_, busName, path, "org.freedesktop.DBus.Properties",
                                                      "Set", g_variant_new("(ssv)", interface, property, value),
                                                      nullptr, G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, &error);
        EXPECT_TRUE(reply) << property << ": " << (error ? error->message : "");
        if (reply) g_variant_unref(reply);
        if (error) g_error_free(error);
    }

private:
    bool owned(const char* busName) {
        GVariant* reply = g_dbus_connection_call_sync(
            connection_, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "NameHasOwner",
            g_variant_new("(s)", busName), G_VARIANT_TYPE("(b)"), G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
        gboolean has = FALSE;
        if (reply) {
            g_variant_get(reply, "(b)", &has);
            g_variant_unref(reply);
        }
        return has;
    }

    std::string address_, why_;
    int busPid_ = -1;
    std::vector<int> pids_;
    GDBusConnection* connection_ = nullptr;
};

// The CPU time a process has used, in seconds.
double cpuSeconds(int pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string field;
    long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14) utime = std::stol(field);
        if (i == 15) stime = std::stol(field);
    }
    return double(utime + stime) / double(sysconf(_SC_CLK_TCK));
}

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
    MockSystemBus bus(dir_);
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
