// `zorvan --daemon` end to end on each kind of desktop it watches: a private X server
// without a saver daemon (MIT-SCREEN-SAVER), headless sway (org_kde_kwin_idle on 1.7,
// ext-idle-notify later) and labwc (ext-idle-notify), KWin (ext-idle-notify, PowerDevil's
// inhibitions on a mock), a private mutter (GNOME's idle monitor, gnome-session's
// inhibition on a mock), weston (none: refused), and logind on a mock system bus (idle
// inhibitor locks, the session's lock, sleep). Times are seconds here; the daemon reads
// them as a person writes them.
#include "host/DaemonRun.h"
#include "host/Process.h"
#include "host/TwoMonitorDisplay.h"

#include <gtest/gtest.h>

#include "support/HeadlessCage.h"
#include "support/HeadlessKwin.h"
#include "support/HeadlessLabwc.h"
#include "support/HeadlessMutter.h"
#include "support/HeadlessSway.h"
#include "support/HeadlessWeston.h"
#include "support/MockSystemBus.h"
#include "support/WaylandRuns.h"

#include <gio/gio.h>
#include <gio/gunixfdlist.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <thread>

using namespace zorvan;
using namespace zorvan::test;
namespace fs = std::filesystem;

namespace {

constexpr int HALF = TwoMonitorDisplay::MONITOR_WIDTH;
// How long after the saver shows the daemon leaves input to the saver alone.
constexpr double SETTLED = 2.0;

void pause(double seconds) { std::this_thread::sleep_for(std::chrono::duration<double>(seconds)); }

// Runs zorvan with `args` in `env` (added to the test's own) to its end.
ProcessResult zorvanWith(const std::vector<std::string>& args, const std::vector<std::string>& env) {
    ChildSetup setup;
    setup.env = env;
    return runChild(zorvanPath(), args, setup, 20);
}

// The environment of a session on the test's X server: a runtime folder and settings of
// its own, and no session bus; the system bus given, or none.
class X11Session {
public:
    explicit X11Session(const std::string& systemBus = "DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent") {
        fs::create_directories(dir_.file("runtime"));
        fs::permissions(dir_.file("runtime"), fs::perms::owner_all);
        env_ = {"XDG_RUNTIME_DIR=" + dir_.file("runtime"), "HOME=" + dir_.path(),
                "XDG_CONFIG_HOME=" + dir_.file("config"), "DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent",
                "WAYLAND_DISPLAY", systemBus, "XDG_SESSION_ID", "XDG_CURRENT_DESKTOP"};
    }
    const std::vector<std::string>& env() const { return env_; }
    std::unique_ptr<DaemonRun> start(const std::vector<std::string>& args, const std::vector<std::string>& more = {},
                                     const std::string& program = zorvanPath()) {
        ChildSetup setup;
        setup.env = env_;
        setup.env.insert(setup.env.end(), more.begin(), more.end());
        setup.errPath = setup.outPath = dir_.file("daemon" + std::to_string(++runs_) + ".log");
        std::vector<std::string> all = {"--daemon"};
        all.insert(all.end(), args.begin(), args.end());
        const int pid = spawnProcess(program, all, setup);
        return std::make_unique<DaemonRun>(pid, setup.errPath);
    }
    ProcessResult zorvan(const std::vector<std::string>& args) const { return zorvanWith(args, env_); }
    const TempDir& dir() const { return dir_; }

private:
    TempDir dir_{"idle-x11"};
    std::vector<std::string> env_;
    int runs_ = 0;
};

bool xdotool(const std::vector<std::string>& args) { return runProcess("xdotool", args, {}, 10).exitCode == 0; }

#define START_X(x)                                                     \
    if (!HeadlessCompositor::onPath("xdotool").size()) GTEST_SKIP() << "xdotool is not installed"; \
    TwoMonitorDisplay x;                                              \
    if (!x.ok()) GTEST_SKIP() << x.why()

// Idle on a plain X server: not before the time, on both monitors after it, gone at the
// next input and counted afresh from it.
TEST(IdleDaemonX11, SaverComesAfterTheIdleTimeOnBothMonitorsAndGoesAtInput) {
    START_X(x);
    X11Session session;
    auto daemon = session.start({"--saver-after", "3s"});
    ASSERT_TRUE(daemon->ready()) << daemon->log();
    EXPECT_NE(daemon->log().find("X11's MIT-SCREEN-SAVER"), std::string::npos) << daemon->log();
    pause(1.5);
    EXPECT_FALSE(daemon->saving()) << "not before the idle time";
    EXPECT_TRUE(x.waitForLit(0, 0, HALF, 1024, MOTES, 6)) << "left monitor\n" << daemon->log();
    EXPECT_TRUE(x.waitForLit(HALF, 0, HALF, 1024, MOTES, 2)) << "right monitor";
    x.screenshot("idle-daemon-x11");

    // A small motion, which the saver itself lets pass: the daemon ends it (once the
    // saver has settled: input in its first seconds is the saver's own to judge).
    pause(SETTLED);
    ASSERT_TRUE(xdotool({"mousemove_relative", "--", "7", "7"}));
    EXPECT_TRUE(daemon->waitSaving(false, 3)) << daemon->log();
    EXPECT_TRUE(waitUntil([&] { return x.litPixels(0, 0, 2 * HALF, 1024) == 0; }, 3, 0.05)) << "the screen is bare";
    pause(1.5);
    EXPECT_FALSE(daemon->saving()) << "idle counts afresh from the input";
    EXPECT_TRUE(daemon->waitSaving(true, 6)) << "and the saver comes again";
    EXPECT_EQ(daemon->log().find("ended with"), std::string::npos) << daemon->log();
}

// --activate and --deactivate reach the session's one daemon; a second daemon and the
// commands without one are refused; the saver never outlives its daemon.
TEST(IdleDaemonX11, OneDaemonASessionItsCommandsAndNoSaverLeftBehind) {
    START_X(x);
    X11Session session;
    for (const char* command : {"--activate", "--deactivate"}) {
        const ProcessResult none = session.zorvan({command});
        EXPECT_EQ(none.exitCode, 2) << command;
        EXPECT_EQ(lines(none.err), 1) << none.err;
        EXPECT_NE(none.err.find("no zorvan --daemon runs"), std::string::npos) << none.err;
    }

    auto daemon = session.start({"--saver-after", "1h"});
    ASSERT_TRUE(daemon->ready()) << daemon->log();
    const ProcessResult second = session.zorvan({"--daemon"});
    EXPECT_EQ(second.exitCode, 2);
    EXPECT_NE(second.err.find("(pid " + std::to_string(daemon->pid()) + ")"), std::string::npos) << second.err;

    EXPECT_EQ(session.zorvan({"--activate"}).exitCode, 0);
    EXPECT_TRUE(daemon->waitSaving(true, 3));
    EXPECT_TRUE(x.waitForLit(0, 0, HALF, 1024, MOTES, 10)) << daemon->log();
    EXPECT_EQ(session.zorvan({"--deactivate"}).exitCode, 0);
    EXPECT_TRUE(daemon->waitSaving(false, 3));

    // SIGTERM: daemon and saver gone at once.
    EXPECT_EQ(session.zorvan({"--activate"}).exitCode, 0);
    ASSERT_TRUE(daemon->waitSaving(true, 3));
    EXPECT_TRUE(x.waitForLit(0, 0, HALF, 1024, MOTES, 10));
    const int saver = daemon->savers().front();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(daemon->end(SIGTERM), 0);
    EXPECT_LT(secondsSince(start), STOP_LIMIT);
    EXPECT_NE(kill(saver, 0), 0) << "the saver ended with it";

    // SIGKILL: the saver follows its daemon.
    auto killed = session.start({"--saver-after", "1h", "--span"});
    ASSERT_TRUE(killed->ready()) << killed->log();
    EXPECT_EQ(session.zorvan({"--activate"}).exitCode, 0);
    ASSERT_TRUE(killed->waitSaving(true, 3));
    const int orphan = killed->savers().front();
    std::string command;
    EXPECT_TRUE(waitUntil(
        [&] {
            command = readFile("/proc/" + std::to_string(orphan) + "/cmdline");
            std::replace(command.begin(), command.end(), '\0', ' ');
            return command.find(" --fullscreen --span ") != std::string::npos;
        },
        3, 0.01))
        << command;
    killed->end(SIGKILL);
    EXPECT_TRUE(waitUntil([&] { return !alive(orphan); }, 3, 0.02)) << "a saver outlived its killed daemon";
    EXPECT_TRUE(waitUntil([&] { return x.litPixels(0, 0, 2 * HALF, 1024) == 0; }, 3, 0.05)) << "the screen is bare";
}

// A saver that cannot run is told once and not started again until the session has
// been used and is idle again: no spinning.
TEST(IdleDaemonX11, ASaverThatFailsIsToldOnceAndWaitsForTheNextIdlePeriod) {
    START_X(x);
    X11Session session;
    // The daemon runs the zorvan beside it: here one that counts its runs and fails.
    const TempDir tree("idle-tree");
    fs::create_directories(tree.file("bin"));
    fs::create_directories(tree.file("libexec/zorvan"));
    fs::copy_file(fs::path(ZORVAN_BIN_DIR) / ".." / "libexec" / "zorvan" / "zorvan-daemon",
                  tree.file("libexec/zorvan/zorvan-daemon"));
    const std::string runs = tree.file("runs");
    std::ofstream(tree.file("bin/zorvan")) << "#!/bin/sh\necho run >> " << runs << "\nexit 1\n";
    fs::permissions(tree.file("bin/zorvan"), fs::perms::owner_all);

    auto daemon = session.start({"--saver-after", "1s"}, {}, tree.file("libexec/zorvan/zorvan-daemon"));
    ASSERT_TRUE(daemon->ready()) << daemon->log();
    ASSERT_TRUE(waitUntil([&] { return lines(readFile(runs)) == 1; }, 5, 0.05)) << daemon->log();
    pause(3.5);
    EXPECT_EQ(lines(readFile(runs)), 1) << "started again without input";
    const std::string log = daemon->log();
    EXPECT_NE(log.find("the saver ended with status 1; it starts again after the next idle period"), std::string::npos)
        << log;
    EXPECT_LT(cpuSeconds(daemon->pid()), 0.5);

    ASSERT_TRUE(xdotool({"mousemove_relative", "--", "5", "5"}));
    EXPECT_TRUE(waitUntil([&] { return lines(readFile(runs)) == 2; }, 5, 0.05)) << "the next idle period";
}

// The settings as the pane stores them, a lock command of the user's own (sway has no
// logind lock) run once the saver has run for the lock time and has ended, so that the
// locker is what shows; and SIGHUP, after which the daemon reads its settings again.
TEST(IdleDaemonX11, StoredSettingsLockCommandAfterTheSaverAndReloading) {
    START_X(x);
    X11Session session;
    const std::string seen = session.dir().file("locked");
    const std::string store = session.dir().file("config/zorvan/ZorvanDaemon.conf");
    fs::create_directories(fs::path(store).parent_path());
    // The locker writes its own pid and the daemon's children at that moment: itself alone.
    std::ofstream(store) << "[ZorvanDaemon]\nsaverAfter=1\nlockAfter=2\n"
                         << "lockCommand=echo \"$$:$(cat /proc/$PPID/task/$PPID/children)\" > " << seen << "\n";
    auto daemon = session.start({});
    ASSERT_TRUE(daemon->ready()) << daemon->log();
    EXPECT_NE(daemon->log().find("the saver starts after 1s idle"), std::string::npos) << daemon->log();
    ASSERT_TRUE(daemon->waitSaving(true, 5)) << daemon->log();
    ASSERT_TRUE(waitUntil([&] { return fs::exists(seen) && lines(readFile(seen)) == 1; }, 8, 0.05)) << daemon->log();
    std::string text = readFile(seen);
    text.erase(text.find_last_not_of(" \n") + 1);
    const std::string locker = text.substr(0, text.find(':'));
    EXPECT_EQ(text, locker + ":" + locker) << "a saver still ran when the lock came";
    pause(1.5);
    EXPECT_FALSE(daemon->saving()) << "locked: no saver until the user is back";

    std::ofstream(store) << "[ZorvanDaemon]\nsaverAfter=3600\n";
    kill(daemon->pid(), SIGHUP);
    EXPECT_EQ(session.zorvan({"--deactivate"}).exitCode, 0);
    EXPECT_TRUE(waitUntil([&] { return daemon->log().find("the saver starts after 1h idle") != std::string::npos; }, 5,
                          0.05))
        << daemon->log();
}

// logind (a mock on a private system bus): an idle inhibitor lock keeps the saver away;
// lock-after ends the saver and then locks the session; before sleep the saver ends and
// the session locks under a delay lock, which is taken again after resume.
TEST(IdleDaemonLogind, InhibitorLockAfterAndSleep) {
    START_X(x);
    TempDir busDir("idle-logind");
    MockSystemBus bus(busDir);
    if (!bus.ok()) GTEST_SKIP() << bus.why();
    const std::string calls = busDir.file("logind.log");
    ASSERT_TRUE(bus.mock("logind", "{}", "org.freedesktop.login1", calls));
    const char LOGIND[] = "org.freedesktop.login1", PATH[] = "/org/freedesktop/login1",
               MANAGER[] = "org.freedesktop.login1.Manager", MOCK[] = "org.freedesktop.DBus.Mock";
    ASSERT_TRUE(bus.call(LOGIND, PATH, MOCK, "AddSession", g_variant_new("(ssusb)", "c7", "seat0", 1000u, "person", TRUE)));

    // A video player's idle lock.
    GUnixFDList* fds = nullptr;
    GVariant* reply = g_dbus_connection_call_with_unix_fd_list_sync(
        bus.connection(), LOGIND, PATH, MANAGER, "Inhibit", g_variant_new("(ssss)", "idle", "player", "video", "block"),
        G_VARIANT_TYPE("(h)"), G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, &fds, nullptr, nullptr);
    ASSERT_TRUE(reply && fds);
    const int held = g_unix_fd_list_get(fds, 0, nullptr);
    g_variant_unref(reply);
    g_object_unref(fds);

    X11Session session(bus.variable());
    auto daemon = session.start({"--saver-after", "1s", "--lock-after", "2s"}, {"XDG_SESSION_ID=c7"});
    ASSERT_TRUE(daemon->ready()) << daemon->log();
    pause(3);
    EXPECT_FALSE(daemon->saving()) << "an idle inhibitor holds";
    close(held);
    EXPECT_TRUE(daemon->waitSaving(true, 5)) << "the lock went\n" << daemon->log();

    // Lock after two seconds of saver: the saver ends first, then Session.Lock.
    const auto lockCalls = [&] {
        const std::string log = readFile(calls);
        long n = 0;
        for (size_t at = log.find(" Lock"); at != std::string::npos; at = log.find(" Lock", at + 1)) ++n;
        return n;
    };
    EXPECT_TRUE(waitUntil([&] { return lockCalls() == 1; }, 5, 0.02)) << readFile(calls);
    EXPECT_FALSE(daemon->saving()) << "the saver ends before the lock shows";

    // Sleep: the saver ends, the session locks, the delay lock goes; back after resume.
    const auto delayHeld = [&] { return readFile(calls).rfind("Inhibit \"sleep\"") != std::string::npos; };
    EXPECT_TRUE(delayHeld()) << readFile(calls);
    ASSERT_EQ(session.zorvan({"--activate"}).exitCode, 0);
    ASSERT_TRUE(daemon->waitSaving(true, 3));
    ASSERT_TRUE(bus.call(LOGIND, PATH, MOCK, "EmitSignal",
                         g_variant_new_parsed("(%s, 'PrepareForSleep', 'b', [<true>])", MANAGER)));
    EXPECT_TRUE(daemon->waitSaving(false, 3)) << daemon->log();
    EXPECT_TRUE(waitUntil([&] { return lockCalls() == 2; }, 5, 0.02)) << readFile(calls);
    ASSERT_TRUE(bus.call(LOGIND, PATH, MOCK, "EmitSignal",
                         g_variant_new_parsed("(%s, 'PrepareForSleep', 'b', [<false>])", MANAGER)));
    EXPECT_TRUE(waitUntil(
        [&] {
            const std::string log = readFile(calls);
            return log.find("Inhibit \"sleep\"") != log.rfind("Inhibit \"sleep\"");
        },
        5, 0.02))
        << "the delay lock is taken again after resume\n"
        << readFile(calls);
    EXPECT_TRUE(daemon->waitSaving(true, 5)) << "idle counts afresh after resume";
}

// The environment a daemon gets on a compositor besides the compositor's own: no system
// bus of the machine's.
const std::vector<std::string> NO_SYSTEM_BUS = {"DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent"};

// zorvan --daemon on a compositor, as a plain client (sway) or as a client of its
// session bus too (KWin, mutter, as the compositor's user); its stderr in the
// compositor's folder.
std::unique_ptr<DaemonRun> daemonOn(HeadlessCompositor& c, const std::vector<std::string>& args, bool onBus,
                                    const std::vector<std::string>& env = {}) {
    static int runs = 0;
    ChildSetup setup;
    setup.errPath = setup.outPath = c.file("daemon" + std::to_string(++runs) + ".log");
    setup.env = NO_SYSTEM_BUS;
    setup.env.insert(setup.env.end(), env.begin(), env.end());
    std::vector<std::string> all = {"--daemon"};
    all.insert(all.end(), args.begin(), args.end());
    const int pid = onBus ? c.startBusClient(installedIn(c), all, setup) : c.startClient(zorvanPath(), all, setup);
    return std::make_unique<DaemonRun>(pid, setup.errPath);
}

// A program on a compositor's session bus, run to its end; its exit status.
int onBus(HeadlessCompositor& c, const std::string& program, const std::vector<std::string>& args) {
    ChildSetup setup;
    setup.quiet = true;
    const int pid = c.startBusClient(program, args, setup);
    return pid > 0 ? waitProcess(pid, 15) : -1;
}

// Calls a method of `path` at `name` on a compositor's session bus with gdbus; its exit
// status.
int callOnBus(HeadlessCompositor& c, const char* name, const char* path, const char* method,
              const std::vector<std::string>& args) {
    std::vector<std::string> call = {"call", "--session", "--dest", name, "--object-path", path, "--method", method};
    call.insert(call.end(), args.begin(), args.end());
    return onBus(c, "/usr/bin/gdbus", call);
}

// A dbusmock template of ours (copied where the compositor's user may read it) on a
// compositor's session bus; true once it answers.
bool mockOnBus(HeadlessCompositor& c, const std::string& name, const std::string& parameters, const char* busName) {
    const std::string copy = c.file(name + ".py");
    fs::copy_file(std::string(ZORVAN_TEST_DATA_DIR) + "/dbusmock/" + name + ".py", copy,
                  fs::copy_options::overwrite_existing);
    if (c.startBusClient(SYSTEM_PYTHON, {"-m", "dbusmock", "--template", copy, "-p", parameters}) <= 0) return false;
    return waitUntil(
        [&] {
            return callOnBus(c, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus.GetNameOwner",
                             {busName}) == 0;
        },
        15, 0.2);
}

// On a wlroots desktop, idle soon starts the saver, which covers both outputs; the
// picture kept as test-shots/<name>.png.
void expectSaverOnBothOutputs(const DaemonRun& daemon, HeadlessWlroots& desktop, const std::string& name) {
    EXPECT_TRUE(daemon.waitSaving(true, 6)) << daemon.log();
    EXPECT_TRUE(desktop.waitForLit("HEADLESS-1", MOTES, 5)) << daemon.log();
    EXPECT_TRUE(desktop.waitForLit("HEADLESS-2", MOTES, 5));
    desktop.screenshot(name);
}

#define START_SWAY(sway)     \
    HeadlessSway sway;       \
    if (!sway.available()) GTEST_SKIP() << sway.why()

// sway: the compositor's idle protocol; a visible window that inhibits idle keeps the
// saver away until it goes; the saver covers both outputs and goes at pointer motion.
TEST(IdleDaemonSway, InhibitorThenSaverOnBothOutputsThenInputEndsIt) {
    START_SWAY(sway);
    // A window that inhibits idle while it is seen, as a video player's does.
    const int window = sway.startClient(zorvanPath(), {"--window", "--size", "320x200"});
    ASSERT_GT(window, 0);
    ASSERT_TRUE(waitUntil([&] { return sway.swaymsg({"[pid=" + std::to_string(window) + "]", "inhibit_idle", "open"}).exitCode == 0; }, 10, 0.2));

    auto daemon = daemonOn(sway, {"--saver-after", "2s"}, false);
    ASSERT_TRUE(daemon->ready()) << daemon->log();
    // Another idle client, which must see the session idle under the saver too.
    const std::string idled = sway.file("idled");
    ASSERT_GT(sway.startClient("swayidle", {"-w", "timeout", "5", "touch " + idled}), 0);
    pause(4);
    EXPECT_FALSE(daemon->saving()) << "the window inhibits idle";
    kill(window, SIGTERM);
    expectSaverOnBothOutputs(*daemon, sway, "idle-daemon-sway");
    EXPECT_TRUE(waitUntil([&] { return fs::exists(idled); }, 6, 0.05)) << "the saver inhibits idle";

    pause(SETTLED);
    ASSERT_TRUE(sway.move(20, 20)) << sway.error();
    EXPECT_TRUE(daemon->waitSaving(false, 3)) << daemon->log();
    pause(1);
    EXPECT_FALSE(daemon->saving()) << "idle counts afresh from the input";

    // The compositor goes: one line, status 1, at once.
    sway.kill();
    EXPECT_EQ(daemon->ended(3), 1) << daemon->log();
    EXPECT_NE(daemon->log().find("zorvan: the Wayland compositor went away\n"), std::string::npos) << daemon->log();
}

// labwc: the compositor's idle protocol (ext-idle-notify); a window's idle inhibitor
// keeps the saver away until it goes; the saver covers both outputs and goes at a key.
TEST(IdleDaemonLabwc, InhibitorThenSaverOnBothOutputsThenInputEndsIt) {
    HeadlessLabwc labwc;
    if (!labwc.available()) GTEST_SKIP() << labwc.why();
    ChildSetup quiet;
    quiet.outPath = labwc.file("inhibitor.out");
    const int player = labwc.startClient(ZORVAN_TEST_INHIBITOR, {}, quiet);
    ASSERT_TRUE(waitUntil([&] { return readFile(quiet.outPath) == "ready\n"; }, 10, 0.05));
    auto daemon = daemonOn(labwc, {"--saver-after", "2s"}, false);
    ASSERT_TRUE(daemon->ready()) << daemon->log();
    EXPECT_NE(daemon->log().find("ext-idle-notify"), std::string::npos) << daemon->log();
    pause(4);
    EXPECT_FALSE(daemon->saving()) << "the window inhibits idle";
    kill(player, SIGTERM);
    expectSaverOnBothOutputs(*daemon, labwc, "idle-daemon-labwc");

    pause(SETTLED);
    EXPECT_TRUE(daemon->saving()) << "the saver's own surface is no input\n" << daemon->log();
    ASSERT_TRUE(labwc.key("space")) << labwc.error();
    EXPECT_TRUE(daemon->waitSaving(false, 3)) << daemon->log();
}

// weston tells no idle time: the daemon refuses at once, in one line.
TEST(IdleDaemonWeston, RefusesWithoutAnIdleProtocol) {
    HeadlessWeston weston(640, 480, 1);
    if (!weston.available()) GTEST_SKIP() << weston.why();
    const ProcessResult run = weston.runClient(zorvanPath(), {"--daemon"}, 10, NO_SYSTEM_BUS);
    EXPECT_EQ(run.exitCode, 2) << run.err;
    EXPECT_EQ(lines(run.err), 1) << run.err;
    EXPECT_NE(run.err.find("tells no idle time"), std::string::npos) << run.err;
}

// cage tells the idle time as sway does (wlroots), and counts the saver's own new surface
// as activity: the saver stays all the same, fills the output, and --deactivate ends it.
TEST(IdleDaemonCage, SaverFillsTheKioskAndDeactivateEndsIt) {
    HeadlessCage cage;
    if (!cage.available()) GTEST_SKIP() << cage.why();
    auto daemon = daemonOn(cage, {"--saver-after", "1s"}, false);
    ASSERT_TRUE(daemon->ready()) << daemon->log();
    EXPECT_TRUE(daemon->waitSaving(true, 5)) << daemon->log();
    EXPECT_TRUE(cage.waitForLit(MOTES, 10)) << daemon->log() << cage.error();
    pause(2.5);
    EXPECT_TRUE(daemon->saving()) << "the saver's own surface is no input\n" << daemon->log();
    ChildSetup setup;
    setup.env = cage.clientEnv();
    EXPECT_EQ(runChild(zorvanPath(), {"--deactivate"}, setup, 10).exitCode, 0);
    EXPECT_TRUE(daemon->waitSaving(false, 3)) << daemon->log();
}

// KWin: Plasma's own lock time shortens the wait; PowerDevil's inhibition (a mock) and a
// window's idle inhibitor keep the saver away until both are gone; --deactivate ends the
// saver.
TEST(IdleDaemonKwin, PlasmaLockTimeInhibitorsAndDeactivate) {
    HeadlessKwin kwin(640, 480, 1);
    if (!kwin.available()) GTEST_SKIP() << kwin.why();
    const std::vector<std::string> plasma = {"XDG_CURRENT_DESKTOP=KDE"};
    {
        fs::create_directories(kwin.file("home/.config"));
        std::ofstream(kwin.file("home/.config/kscreenlockerrc")) << "[Daemon]\nTimeout=1\n";
        auto early = daemonOn(kwin, {"--saver-after", "5m"}, true, plasma);
        ASSERT_TRUE(early->ready()) << early->log();
        EXPECT_NE(early->log().find("ext-idle-notify"), std::string::npos) << early->log();
        EXPECT_NE(early->log().find("the saver starts after 30s idle (Plasma locks at 1m idle"), std::string::npos)
            << early->log();
        EXPECT_EQ(early->end(SIGTERM), 0);
    }
    // A video player's window: an idle inhibitor on a visible surface, and PowerDevil's
    // inhibition, which the player also asks for; PowerDevil's goes first.
    ChildSetup quiet;
    quiet.outPath = kwin.file("inhibitor.out");
    const int player = kwin.startClient(ZORVAN_TEST_INHIBITOR, {}, quiet);
    ASSERT_TRUE(waitUntil([&] { return readFile(quiet.outPath) == "ready\n"; }, 10, 0.05));
    ASSERT_TRUE(mockOnBus(kwin, "powerdevil", "{\"inhibited\": true}", "org.kde.Solid.PowerManagement.PolicyAgent"));
    auto daemon = daemonOn(kwin, {"--saver-after", "2s"}, true, plasma);
    ASSERT_TRUE(daemon->ready()) << daemon->log();
    pause(4);
    EXPECT_FALSE(daemon->saving()) << "PowerDevil and the window inhibit idle";
    EXPECT_EQ(callOnBus(kwin, "org.kde.Solid.PowerManagement.PolicyAgent", "/org/kde/Solid/PowerManagement/PolicyAgent",
                        "org.freedesktop.DBus.Mock.SetInhibited", {"false"}),
              0);
    pause(4);
    EXPECT_FALSE(daemon->saving()) << "the window inhibits idle";
    kill(player, SIGTERM);
    EXPECT_TRUE(daemon->waitSaving(true, 6)) << daemon->log();
    EXPECT_TRUE(kwin.waitForLit(MOTES, 10)) << daemon->log();
    kwin.screenshot("idle-daemon-kwin");
    ChildSetup setup;
    setup.quiet = true;
    EXPECT_EQ(waitProcess(kwin.startBusClient(installedIn(kwin), {"--deactivate"}, setup), 10), 0);
    EXPECT_TRUE(daemon->waitSaving(false, 3));
}

// GNOME: mutter's idle monitor; GNOME's idle-delay shortens the wait and is followed while
// the daemon runs; gnome-session's idle inhibition (a mock) pauses mutter's watch; the
// saver covers both outputs and goes at input.
TEST(IdleDaemonGnome, IdleDelayInhibitionSaverAndInput) {
    if (const std::string tool = HeadlessMutter::missing(); !tool.empty()) GTEST_SKIP() << tool << " is not installed";
    HeadlessMutter mutter;
    ASSERT_TRUE(mutter.available()) << mutter.why();
    // GNOME's settings in a key file that the daemon's GSettings reads and watches.
    const std::string keyfile = mutter.file("home/.config/glib-2.0/settings/keyfile");
    fs::create_directories(fs::path(keyfile).parent_path());
    const auto idleDelay = [&](int seconds) {
        std::ofstream(keyfile + ".new") << "[org/gnome/desktop/session]\nidle-delay=uint32 " << seconds << "\n";
        fs::rename(keyfile + ".new", keyfile);
    };
    idleDelay(300);  // GNOME's default
    const std::vector<std::string> gnome = {"GSETTINGS_BACKEND=keyfile"};
    {
        auto early = daemonOn(mutter, {"--saver-after", "1h"}, true, gnome);
        ASSERT_TRUE(early->ready()) << early->log();
        EXPECT_NE(early->log().find("watching GNOME's idle monitor: the saver starts after 4m idle (GNOME locks at 5m"),
                  std::string::npos)
            << early->log();
        idleDelay(0);
        EXPECT_TRUE(waitUntil([&] { return early->log().find("starts after 1h idle") != std::string::npos; }, 5, 0.05))
            << "GNOME's lock turned off while running\n" << early->log();
        EXPECT_EQ(early->end(SIGTERM), 0);
    }

    ASSERT_TRUE(mockOnBus(mutter, "gnome_session", "{\"InhibitedActions\": 8}", "org.gnome.SessionManager"));
    auto daemon = daemonOn(mutter, {"--saver-after", "2s"}, true, gnome);
    ASSERT_TRUE(daemon->ready()) << daemon->log();
    pause(4);
    EXPECT_FALSE(daemon->saving()) << "gnome-session inhibits idle";
    EXPECT_EQ(callOnBus(mutter, "org.gnome.SessionManager", "/org/gnome/SessionManager",
                        "org.freedesktop.DBus.Properties.Set", {"org.gnome.SessionManager", "InhibitedActions", "<uint32 0>"}),
              0);
    EXPECT_TRUE(daemon->waitSaving(true, 8)) << daemon->log();
    EXPECT_TRUE(mutter.waitFor(
        [](const Shot& s) {
            return motes(HeadlessMutter::output(s, 0)) >= MOTES && motes(HeadlessMutter::output(s, 1)) >= MOTES;
        },
        10))
        << "black with motes on both outputs\n" << daemon->log();
    mutter.screenshot("idle-daemon-gnome");
    pause(SETTLED);
    ASSERT_TRUE(mutter.move(5, 5));
    EXPECT_TRUE(daemon->waitSaving(false, 3)) << daemon->log();

    // mutter goes, and its idle monitor with it: one line, status 1, at once.
    mutter.kill();
    EXPECT_EQ(daemon->ended(3), 1) << daemon->log();
    EXPECT_EQ(lines(daemon->log()), 2) << daemon->log();
}

}  // namespace
