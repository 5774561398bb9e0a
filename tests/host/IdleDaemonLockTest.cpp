// zorvan --daemon locking with Zorvan's own lock screen where the compositor has the
// session lock (sway 1.8 on; these skip on sway 1.7), logind on a mock system bus with
// this session (c7), PAM under pam_wrapper and the password typed with wtype:
// --lock-after, logind's Lock signal and sleep start zorvan --lock, which holds the
// session until the password; a lock screen killed is followed by a new one; one that
// cannot lock hands over to logind's lock once, without answering its own echo.
// "The lock holds" is what the compositor says: a second zorvan --lock is turned away.
// The lock screen's picture is its own tests' business (LockTest).
#include "host/DaemonRun.h"
#include "host/Process.h"
#include "lock/PamWrapper.h"

#include <gtest/gtest.h>

#include "support/HeadlessSway.h"
#include "support/MockSystemBus.h"
#include "support/WaylandRuns.h"

#include <fcntl.h>
#include <gio/gio.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <regex>

using namespace zorvan;
using namespace zorvan::test;
namespace fs = std::filesystem;

namespace {

const char PASSWORD[] = "sesame, öpen";
const char LOGIND[] = "org.freedesktop.login1", LOGIND_PATH[] = "/org/freedesktop/login1",
           MANAGER[] = "org.freedesktop.login1.Manager", MOCK[] = "org.freedesktop.DBus.Mock",
           SESSION_PATH[] = "/org/freedesktop/login1/session/c7";

// sway with the session lock, and logind on a mock system bus with the session c7.
class LockingSession {
public:
    LockingSession() {
        if (!sway.available()) why_ = sway.why();
        else if (!bus.ok()) why_ = bus.why();
        else if (!bus.mock("logind", "{}", LOGIND, calls))
            why_ = "the logind mock did not start";
        else if (!bus.call(LOGIND, LOGIND_PATH, MOCK, "AddSession",
                           g_variant_new("(ssusb)", "c7", "seat0", 1000u, "person", TRUE)))
            why_ = "the mock has no session";
    }
    const std::string& why() const { return why_; }

    // zorvan --daemon with `args` on sway in this session, with settings of its own; its
    // stderr (and the lock screen's) in the compositor's folder.
    std::unique_ptr<DaemonRun> daemon(const std::vector<std::string>& args, const std::string& program = zorvanPath()) {
        ChildSetup setup;
        setup.errPath = setup.outPath = sway.file("daemon" + std::to_string(++runs_) + ".log");
        fs::create_directories(sway.file("daemon-config"));
        setup.env = {bus.variable(), "XDG_SESSION_ID=c7", "DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent",
                     "XDG_CONFIG_HOME=" + sway.file("daemon-config")};
        std::vector<std::string> all = {"--daemon"};
        all.insert(all.end(), args.begin(), args.end());
        return std::make_unique<DaemonRun>(sway.startClient(program, all, setup), setup.errPath);
    }

    // Whether the compositor holds the session locked: it turns a second lock away. Ask
    // only where the lock should hold: where it does not, this one locks.
    bool lockHolds() {
        const ProcessResult second = sway.runClient(zorvanPath(), {"--lock"});
        return second.exitCode == 1 && second.err.find("another locker holds it") != std::string::npos;
    }

    // Calls of Session.Lock that the mock took.
    long lockCalls() const {
        const std::string log = readFile(calls);
        const std::regex call("^\\S+ Lock( |$)");
        long n = 0;
        std::istringstream in(log);
        for (std::string line; std::getline(in, line);) n += std::regex_search(line, call);
        return n;
    }

    // logind's Lock signal to this session, and PrepareForSleep.
    bool lockSignal() {
        return bus.call(LOGIND, SESSION_PATH, MOCK, "EmitSignal",
                        g_variant_new_parsed("('org.freedesktop.login1.Session', 'Lock', '', @av [])"));
    }
    bool prepareForSleep(bool start) {
        return bus.call(LOGIND, LOGIND_PATH, MOCK, "EmitSignal",
                        g_variant_new_parsed("(%s, 'PrepareForSleep', 'b', [<%b>])", MANAGER, gboolean(start)));
    }
    // Whether the daemon's sleep delay lock is held, as the mock sees it.
    bool sleepDelayHeld() {
        GVariant* reply = g_dbus_connection_call_sync(bus.connection(), LOGIND, LOGIND_PATH, MANAGER, "ListInhibitors",
                                                      nullptr, G_VARIANT_TYPE("(a(ssssuu))"), G_DBUS_CALL_FLAGS_NONE,
                                                      5000, nullptr, nullptr);
        if (!reply) return false;
        gchar* text = g_variant_print(reply, FALSE);
        const bool held = std::string(text).find("('sleep', 'Zorvan', 'Locks the session before sleep', 'delay'") !=
                          std::string::npos;
        g_free(text);
        g_variant_unref(reply);
        return held;
    }

    HeadlessSway sway;
    TempDir busDir{"lock-logind"};
    MockSystemBus bus{busDir};
    std::string calls = busDir.file("logind.log");

private:
    std::string why_;
    int runs_ = 0;
};

#define SESSION_LOCK_ONLY()                        \
    if (!HeadlessSway::hasSessionLock())           \
    GTEST_SKIP() << "this sway has no session lock (1.8 on has; Debian 12 has 1.7): the daemon locks as before there"

#define LOCKING_SESSION(s) \
    LockingSession s;      \
    if (!s.why().empty()) GTEST_SKIP() << s.why()

// The daemon's one lock screen; -1 when it runs none, or more than one.
int theLocker(const DaemonRun& daemon) {
    const std::vector<int> lockers = daemon.children("--lock");
    return lockers.size() == 1 ? lockers.front() : -1;
}

bool saverRuns(const DaemonRun& daemon) { return !daemon.children("--fullscreen").empty(); }

// A zorvan --lock of the test's own, told to say "locked" on a pipe: whether it did in
// time (so the session was not locked before), then unlocked with the password.
void expectUnlockedSession(HeadlessSway& sway) {
    int ends[2];
    ASSERT_EQ(pipe2(ends, O_CLOEXEC), 0);
    fcntl(ends[1], F_SETFD, 0);  // the lock screen's
    ChildSetup setup;
    setup.env = {"ZORVAN_LOCKED_FD=" + std::to_string(ends[1])};
    setup.errPath = sway.file("own-lock.err");
    const int lock = sway.startClient(zorvanPath(), {"--lock"}, setup);
    close(ends[1]);
    pollfd said = {ends[0], POLLIN, 0};
    char word[16] = {};
    const bool locked = poll(&said, 1, 10000) == 1 && read(ends[0], word, sizeof word - 1) > 0;
    close(ends[0]);
    EXPECT_TRUE(locked) << readFile(setup.errPath);
    EXPECT_STREQ(word, "locked\n");
    ASSERT_TRUE(sway.type(PASSWORD)) << sway.error();
    EXPECT_EQ(waitProcess(lock, 10), 0) << readFile(setup.errPath);
}

// A tree laid out as installed, with the built daemon and a zorvan of the test's own that
// runs `lock` (shell) for --lock and the built zorvan for everything else.
class StandInTree {
public:
    explicit StandInTree(const std::string& lock) {
        fs::create_directories(dir.file("bin"));
        fs::create_directories(dir.file("libexec/zorvan"));
        fs::copy_file(fs::path(ZORVAN_BIN_DIR) / ".." / "libexec" / "zorvan" / "zorvan-daemon", daemon());
        writeFile(dir.file("bin/zorvan"), "#!/bin/sh\nif [ \"$1\" = --lock ]; then\n" + lock + "\nfi\nexec " +
                                              zorvanPath() + " \"$@\"\n");
        fs::permissions(dir.file("bin/zorvan"), fs::perms::owner_all);
    }
    std::string daemon() const { return dir.file("libexec/zorvan/zorvan-daemon"); }
    TempDir dir{"lock-tree"};
};

}  // namespace

// --lock-after: the lock screen comes over the saver, which ends once the session is
// locked; logind's lock is not asked for; input and idle change nothing until the right
// password, after which idle counts again and the saver comes back.
TEST(IdleDaemonLockScreen, LockAfterLocksUntilThePasswordThenIdleCountsAgain) {
    SESSION_LOCK_ONLY();
    if (!inPamWrapper()) return rerunUnderPamWrapper(MATRIX_STACK);
    LOCKING_SESSION(s);
    writePassdb(PASSWORD);
    auto daemon = s.daemon({"--saver-after", "1s", "--lock-after", "2s"});
    ASSERT_TRUE(daemon->ready()) << daemon->log();
    ASSERT_TRUE(waitUntil([&] { return saverRuns(*daemon); }, 6, 0.02)) << daemon->log();
    ASSERT_TRUE(waitUntil([&] { return theLocker(*daemon) > 0 && !saverRuns(*daemon); }, 15, 0.02))
        << "no lock screen, or the saver did not end under it\n" << daemon->log();
    const int locker = theLocker(*daemon);
    EXPECT_TRUE(s.lockHolds()) << daemon->log();
    EXPECT_EQ(s.lockCalls(), 0) << readFile(s.calls);

    ASSERT_TRUE(s.sway.type("wrong")) << s.sway.error();
    settle(2.5);
    EXPECT_TRUE(alive(locker)) << daemon->log();
    EXPECT_EQ(daemon->children("--lock"), std::vector<int>{locker}) << "one lock screen";
    EXPECT_FALSE(saverRuns(*daemon)) << "a saver over the lock screen";

    ASSERT_TRUE(s.sway.type(PASSWORD)) << s.sway.error();
    EXPECT_TRUE(waitUntil([&] { return !alive(locker) && daemon->children("--lock").empty(); }, 10, 0.02))
        << daemon->log();
    EXPECT_TRUE(waitUntil([&] { return saverRuns(*daemon); }, 6, 0.02)) << "idle counts again\n" << daemon->log();
    EXPECT_EQ(daemon->log().find("zorvan:", daemon->log().find("watching ")), std::string::npos) << daemon->log();
}

// logind's Lock signal (loginctl lock-session) locks over a running saver; no saver comes
// over the lock screen; killed, it is followed within two seconds by a new one, which the
// password unlocks.
TEST(IdleDaemonLockScreen, LockSignalLocksAndAKilledLockScreenIsFollowed) {
    SESSION_LOCK_ONLY();
    if (!inPamWrapper()) return rerunUnderPamWrapper(MATRIX_STACK);
    LOCKING_SESSION(s);
    writePassdb(PASSWORD);
    auto daemon = s.daemon({"--saver-after", "1h"});
    ASSERT_TRUE(daemon->ready()) << daemon->log();
    const auto command = [&](const char* what) {
        ChildSetup setup;
        setup.env = s.sway.clientEnv();
        return runChild(zorvanPath(), {what}, setup, 10).exitCode;
    };
    ASSERT_EQ(command("--activate"), 0);
    ASSERT_TRUE(waitUntil([&] { return saverRuns(*daemon); }, 5, 0.02)) << daemon->log();

    ASSERT_TRUE(s.lockSignal());
    ASSERT_TRUE(waitUntil([&] { return theLocker(*daemon) > 0 && !saverRuns(*daemon); }, 15, 0.02))
        << "no lock screen, or the saver did not end under it\n" << daemon->log();
    EXPECT_TRUE(s.lockHolds()) << daemon->log();
    ASSERT_EQ(command("--activate"), 0);
    ASSERT_TRUE(s.lockSignal());
    settle(1.5);
    EXPECT_FALSE(saverRuns(*daemon)) << "a saver over the lock screen";
    const int first = theLocker(*daemon);
    EXPECT_GT(first, 0) << "one lock screen, whatever is asked";

    kill(first, SIGKILL);
    const auto killed = std::chrono::steady_clock::now();
    int next = -1;
    EXPECT_TRUE(waitUntil([&] { return (next = theLocker(*daemon)) > 0 && next != first; }, 3, 0.01))
        << daemon->log();
    EXPECT_LT(secondsSince(killed), 2.0);
    EXPECT_NE(daemon->log().find("the lock screen ended killed by a signal; a new one takes over"), std::string::npos)
        << daemon->log();
    settle(2);  // it takes the lock over and binds the keyboard
    ASSERT_TRUE(s.sway.type(PASSWORD)) << s.sway.error();
    EXPECT_TRUE(waitUntil([&] { return !alive(next) && daemon->children("--lock").empty(); }, 10, 0.02))
        << daemon->log();
    EXPECT_EQ(s.lockCalls(), 0) << readFile(s.calls);
    expectUnlockedSession(s.sway);
}

// Before sleep, the daemon's delay lock goes only once the lock screen has locked (here
// one that takes 1.5 s to start), and after 4 s at most (one that never locks), with a
// line that says so; after resume the lock screen stays and the delay lock is back.
TEST(IdleDaemonLockScreen, SleepWaitsForTheLockAndFourSecondsAtMost) {
    SESSION_LOCK_ONLY();
    if (!inPamWrapper()) return rerunUnderPamWrapper(MATRIX_STACK);
    LOCKING_SESSION(s);
    writePassdb(PASSWORD);
    StandInTree tree("if [ -e " + s.sway.file("never") + " ]; then exec sleep 60; fi\nsleep 1.5");
    auto daemon = s.daemon({"--saver-after", "1h", "--lock-after", "1h"}, tree.daemon());
    ASSERT_TRUE(daemon->ready()) << daemon->log();
    ASSERT_TRUE(waitUntil([&] { return s.sleepDelayHeld(); }, 5, 0.02)) << readFile(s.calls);

    ASSERT_TRUE(s.prepareForSleep(true));
    auto asked = std::chrono::steady_clock::now();
    ASSERT_TRUE(waitUntil([&] { return !s.sleepDelayHeld(); }, 10, 0.02)) << daemon->log();
    EXPECT_GE(secondsSince(asked), 1.5) << "the delay lock went before the lock screen had started";
    EXPECT_TRUE(s.lockHolds()) << "the delay lock went before the session was locked\n" << daemon->log();
    ASSERT_TRUE(s.prepareForSleep(false));
    EXPECT_TRUE(waitUntil([&] { return s.sleepDelayHeld(); }, 5, 0.02)) << "taken again after resume";
    const int locker = theLocker(*daemon);
    EXPECT_GT(locker, 0) << "the lock screen stays after resume\n" << daemon->log();
    ASSERT_TRUE(s.sway.type(PASSWORD)) << s.sway.error();
    EXPECT_TRUE(waitUntil([&] { return daemon->children("--lock").empty(); }, 10, 0.02)) << daemon->log();
    settle(0.5);  // the daemon hears of the end on its main loop, a moment after it

    writeFile(s.sway.file("never"), "");
    ASSERT_TRUE(s.prepareForSleep(true));
    asked = std::chrono::steady_clock::now();
    ASSERT_TRUE(waitUntil([&] { return !s.sleepDelayHeld(); }, 8, 0.02)) << daemon->log();
    EXPECT_GE(secondsSince(asked), 3.8);
    EXPECT_LT(secondsSince(asked), 5.0) << "logind waits 5 s at most";
    EXPECT_NE(daemon->log().find("the lock screen did not lock the session within 4 s of the sleep"), std::string::npos)
        << daemon->log();
}

// A lock screen that cannot lock (status 2) hands over to logind's Session.Lock once; the
// Lock signal that logind sends for it does not start the lock screen again. After input
// the next Lock signal tries the lock screen again, once.
TEST(IdleDaemonLockScreen, ARefusedLockScreenHandsOverToLogindOnceWithoutALoop) {
    SESSION_LOCK_ONLY();
    LOCKING_SESSION(s);
    const std::string runs = s.sway.file("lock-runs");
    StandInTree tree("echo run >> " + runs + "\nexit 2");
    auto daemon = s.daemon({"--saver-after", "1h"}, tree.daemon());
    ASSERT_TRUE(daemon->ready()) << daemon->log();

    ASSERT_TRUE(s.lockSignal());
    EXPECT_TRUE(waitUntil([&] { return s.lockCalls() == 1; }, 5, 0.02)) << daemon->log() << readFile(s.calls);
    settle(2);
    EXPECT_EQ(lines(readFile(runs)), 1) << "logind's Lock signal, which its Session.Lock sent, started it again";
    EXPECT_EQ(s.lockCalls(), 1) << readFile(s.calls);
    EXPECT_NE(daemon->log().find("the lock screen ended with status 2 before the session was locked; the desktop's "
                                 "lock takes over"),
              std::string::npos)
        << daemon->log();

    ASSERT_TRUE(s.sway.move(10, 10)) << s.sway.error();
    settle(0.5);
    ASSERT_TRUE(s.lockSignal());
    EXPECT_TRUE(waitUntil([&] { return s.lockCalls() == 2; }, 5, 0.02)) << daemon->log() << readFile(s.calls);
    settle(2);
    EXPECT_EQ(lines(readFile(runs)), 2) << daemon->log();
    EXPECT_EQ(s.lockCalls(), 2);
}
