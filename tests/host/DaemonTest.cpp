// Zorvan under the real xscreensaver daemon on a private two-monitor X server. The
// daemon refuses to run as root: under root it runs as nobody (through setpriv), with a
// private HOME that holds its ~/.xscreensaver, a copy of the program with its resources,
// and Zorvan's store, found from HOME alone as the daemon passes no XDG variables.
#include "host/Process.h"
#include "host/TwoMonitorDisplay.h"

// GoogleTest before Xlib: Xlib's macros (None, Bool) would break its headers.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

using namespace zorvan;
namespace fs = std::filesystem;

namespace {

constexpr int HALF = test::TwoMonitorDisplay::MONITOR_WIDTH;
const char DAEMON[] = "/usr/bin/xscreensaver";
const char COMMAND[] = "/usr/bin/xscreensaver-command";

class Daemon : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists(DAEMON) || !fs::exists(COMMAND))
            GTEST_SKIP() << "the xscreensaver daemon is not installed";
        if (!user_.why.empty()) GTEST_SKIP() << user_.why;
        if (!x_.ok()) GTEST_SKIP() << x_.why();

        // A HOME that the daemon's user owns, with the program and its resources.
        ASSERT_FALSE(folder_.path().empty());
        home_ = folder_.path();
        fs::create_directories(home_ / "bin");
        fs::copy_file(test::zorvanPath(), program());
        fs::copy(fs::path(ZORVAN_BIN_DIR) / ".." / "share", home_ / "share", fs::copy_options::recursive);
        std::ofstream(home_ / ".xscreensaver")
            << "mode: one\nselected: 0\ntimeout: 0:30:00\nlock: False\nfade: False\n"
               "unfade: False\nsplash: False\ndpmsEnabled: False\n"
               "programs: GL: \"Zorvan\" " << program().string() << " --root \\n\n";
        writeStore("");
    }
    void TearDown() override {
        stopDaemon();
        for (int pid : zorvanPids()) kill(pid, SIGKILL);
    }

    fs::path program() const { return home_ / "bin" / "zorvan"; }

    void writeStore(const std::string& lines) {
        fs::create_directories(home_ / ".config" / "zorvan");
        std::ofstream(home_ / ".config" / "zorvan" / "Zorvan.conf") << "[Zorvan]\n" << lines;
        if (user_.uid != getuid()) {
            for (const auto& entry : fs::recursive_directory_iterator(home_))
                if (lchown(entry.path().c_str(), user_.uid, user_.gid) != 0) ADD_FAILURE() << entry.path();
            if (lchown(home_.c_str(), user_.uid, user_.gid) != 0) ADD_FAILURE() << home_;
        }
        fs::permissions(home_, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                   fs::perms::others_read | fs::perms::others_exec);
    }

    // The daemon in its own process group, with the environment that a session gives
    // it: HOME and DISPLAY, no XDG variables.
    void startDaemon() {
        const std::string log = (home_ / "daemon.log").string();
        test::ChildSetup setup;
        setup.ownGroup = true;
        setup.outPath = setup.errPath = log;
        setup.emptyEnv = true;
        setup.env = {"HOME=" + home_.string(), "DISPLAY=" + x_.name(), "PATH=/usr/bin:/bin",
                     // A sanitizer build's leak report would only slow the exit.
                     "ASAN_OPTIONS=detect_leaks=0"};
        daemon_ = user_.spawn(DAEMON, {}, setup);
        ASSERT_GT(daemon_, 0);
        group_ = daemon_;
    }
    // Whatever is left of the daemon's process group goes.
    void stopDaemon() {
        if (group_ > 0) kill(-group_, SIGKILL);
        if (daemon_ > 0) test::waitProcess(daemon_, 5);
        daemon_ = group_ = -1;
    }
    std::string daemonLog() const { return test::readFile((home_ / "daemon.log").string()); }

    // xscreensaver-command, retried while the daemon is still starting.
    bool command(const std::string& what) {
        return test::waitUntil([&] { return test::runProcess(COMMAND, {what}, {}, 10).exitCode == 0; }, 10, 0.2);
    }

    // The live processes of our copy of the program.
    std::vector<int> zorvanPids() const {
        std::vector<int> pids;
        if (home_.empty()) return pids;
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator("/proc", ec)) {
            const std::string name = entry.path().filename();
            if (name.find_first_not_of("0123456789") != std::string::npos) continue;
            std::error_code ignored;
            if (fs::read_symlink(entry.path() / "exe", ignored) != program()) continue;
            const std::string stat = test::readFile((entry.path() / "stat").string());
            const size_t close = stat.rfind(')');
            if (close == std::string::npos || stat.compare(close + 2, 1, "Z") == 0) continue;
            pids.push_back(std::stoi(name));
        }
        return pids;
    }
    bool waitForZorvans(size_t count, double seconds) const {
        return test::waitUntil([&] { return zorvanPids().size() == count; }, seconds, 0.02);
    }

    // Blanks, checks both monitors, and leaves with -exit: no Zorvan is left. The daemon
    // hands the exit on to its graphics process, which now and then takes seconds to act
    // on it (4.7 s once in 80 runs); the saver ends as soon as that process tells it to.
    void blankAndExit(bool mainScreenOnly, const std::string& shot) {
        startDaemon();
        ASSERT_TRUE(command("-activate")) << daemonLog();
        EXPECT_TRUE(waitForZorvans(2, 15)) << "one per monitor\n" << daemonLog();
        EXPECT_TRUE(x_.waitForLit(0, 0, HALF, 1024, 500, 15)) << "left monitor\n" << daemonLog();
        if (mainScreenOnly) {
            std::this_thread::sleep_for(std::chrono::seconds(1));
            EXPECT_EQ(x_.litPixels(HALF, 0, HALF, 1024), 0) << "right monitor";
            EXPECT_EQ(zorvanPids().size(), 2u) << "the declined one idles until told to go";
        } else {
            EXPECT_TRUE(x_.waitForLit(HALF, 0, HALF, 1024, 500, 15)) << "right monitor";
        }
        std::printf("screenshot: %s\n", x_.screenshot(shot).c_str());

        ASSERT_TRUE(command("-exit")) << daemonLog();
        EXPECT_TRUE(waitForZorvans(0, 15)) << daemonLog();
        EXPECT_EQ(test::waitProcess(daemon_, 10), 0) << daemonLog();
        daemon_ = -1;
        stopDaemon();
    }

    test::TwoMonitorDisplay x_;
    const test::DaemonUser user_;
    test::TempDir folder_{"daemon"};
    fs::path home_;
    int daemon_ = -1, group_ = -1;
};

}  // namespace

TEST_F(Daemon, RunsZorvanOnEveryMonitorAndEndsItOnExit) {
    blankAndExit(false, "daemon-two-monitors");
}

TEST_F(Daemon, MainScreenOnlyFromTheStoreInHomeLeavesTheOtherMonitorBlack) {
    writeStore("mainScreenOnly=true\n");
    blankAndExit(true, "daemon-main-screen-only");
}

// Where the xscreensaver daemon runs the display's saver, Zorvan's own idle daemon steps
// aside at once and says where to pick Zorvan instead.
TEST_F(Daemon, ZorvansIdleDaemonStepsAsideForIt) {
    startDaemon();
    ASSERT_TRUE(command("-version")) << daemonLog();
    const test::TempDir runtime("idle-runtime");
    const auto run = test::runProcess("/usr/bin/env", {"DISPLAY=" + x_.name(), "XDG_RUNTIME_DIR=" + runtime.path(),
                                                       "DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent",
                                                       test::zorvanPath(), "--daemon"},
                                      {"WAYLAND_DISPLAY"}, 15);
    EXPECT_EQ(run.exitCode, 2) << run.err;
    EXPECT_EQ(run.err, "zorvan: the xscreensaver daemon runs this display's saver: pick Zorvan in "
                       "xscreensaver-settings instead\n");
}
